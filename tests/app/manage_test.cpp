#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "vcalc/vcalc.h"
#include "vcalc/wire.h"

namespace tessaly::test {
namespace {

// The window on a virtual TI-92 holding test\x, test\y (locked) and test\z, its
// calculator list read, and a file note.92e (main\note) in the browser's folder.
struct ManageApp {
    AppRun run;
    VirtualCalculator calc{run.clock};
    QTreeWidget* list = nullptr;

    ManageApp() {
        calc.setpace(0);
        tessaly::testing::capturememory(calc);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + run.dir.path().toStdString() +
                          "\n");
        GoldenFile f("n", 1);
        f.entry(82, "note", 0x00).sizefield(93).section({0x00, 0x03, 0x0C, 0x01, 0x1F});
        writebytes(run.dir.filePath("note.92e").toStdString(), f.bytes);
        run.start();
        list = run.form().receive.variablelist;
        run.form().receive.updatebutton->click();
    }
    void mark(const QString& caption) {
        list->setFocus();
        for (auto* row : list->findItems(caption, Qt::MatchExactly)) row->setSelected(true);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(list, k, m); }
    bool listed(const QString& caption) { return !list->findItems(caption, Qt::MatchExactly).isEmpty(); }
    std::string lastbox() const { return run.shell.boxes.empty() ? "" : run.shell.boxes.back().text; }
    void sendnote(std::vector<Answer> answers) {
        run.form().open.refreshbutton->click();
        for (auto* row : run.form().open.filelist->findItems("note.92e", Qt::MatchExactly)) row->setSelected(true);
        run.shell.answers = {answers.begin(), answers.end()};
        run.find<QToolButton>("sendfilebutton")->click();
    }
};

TEST(WindowManage, KeysOnTheCalculatorListDeleteRenameAndMakeFoldersAfterAsking) {
    ManageApp app;
    ASSERT_TRUE(app.listed("test\\z"));
    app.mark("test\\z");
    app.run.shell.answers = {Answer::No};
    app.key(Qt::Key_Delete);
    EXPECT_NE(app.lastbox().find("test\\z"), std::string::npos) << "the box names what goes";
    EXPECT_NE(app.calc.memory().find("test\\z"), nullptr) << "declined: kept";

    app.mark("test\\z");
    app.run.shell.answers = {Answer::Yes};
    app.key(Qt::Key_Delete);
    EXPECT_EQ(app.calc.memory().find("test\\z"), nullptr);
    EXPECT_FALSE(app.listed("test\\z")) << "the list is read again";

    app.mark("test\\x");
    app.run.shell.inputanswers = {std::string("main\\moved")};
    app.key(Qt::Key_F2);
    EXPECT_TRUE(app.listed("main\\moved"));
    EXPECT_NE(app.calc.memory().find("main\\moved"), nullptr);

    app.run.shell.inputanswers = {std::string("extra")};
    app.key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_NE(app.calc.memory().folder("extra"), nullptr);

    // Bad input is said and nothing reaches the calculator.
    app.calc.cleartrace();
    app.run.shell.inputanswers = {std::string("9lives")};
    app.key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_NE(app.lastbox().find("9lives is not a name the calculator takes"), std::string::npos) << app.lastbox();
    EXPECT_TRUE(app.calc.trace().bytes().empty());
}

TEST(WindowManage, ARefusalIsNamedAndVersionIsAskedFromTheSettingsPage) {
    ManageApp app;
    app.mark("test\\y");  // locked
    app.run.shell.answers = {Answer::Yes};
    app.key(Qt::Key_Delete);
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.lastbox().find("test\\y is locked") != std::string::npos; }, 3000))
        << app.lastbox();
    EXPECT_NE(app.calc.memory().find("test\\y"), nullptr);

    app.run.find<QPushButton>("versionbutton")->click();
    EXPECT_EQ(app.lastbox(), "TI-92\rROM version 1.11");
}

// Overwrite, Skip and Cancel through the window's per-variable question (the scripted
// shell answers it as Yes, No, Cancel).
TEST(WindowManage, SendingOntoAnExistingNameAsksFirst) {
    ManageApp app;
    const auto sent = [&] { return app.calc.memory().find("main\\note") != nullptr; };
    app.sendnote({});
    ASSERT_TRUE(sent()) << "a new name goes without a question";
    app.calc.memory().find("main\\note")->data = {0x00, 0x01, 0x2D};
    const std::vector<std::uint8_t> changed = app.calc.memory().find("main\\note")->data;

    for (Answer a : {Answer::No, Answer::Cancel}) {
        app.sendnote({a});
        EXPECT_NE(app.lastbox().find("main\\note is on the calculator already"), std::string::npos);
        EXPECT_EQ(app.calc.memory().find("main\\note")->data, changed) << "skipped or cancelled: kept";
    }
    app.sendnote({Answer::Yes});
    EXPECT_NE(app.calc.memory().find("main\\note")->data, changed) << "overwritten when agreed";
}

} // namespace
} // namespace tessaly::test
