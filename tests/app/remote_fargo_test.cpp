#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <fstream>
#include <sys/stat.h>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "transfers/fargoinstall.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

// The program on a virtual TI-92 reacting at once.
struct CalcApp {
    AppRun run;
    VirtualCalculator calc{run.clock};

    CalcApp() {
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
        run.start();
    }
    app::RemoteWindow& remote() { return run.program->remoteform(); }
    // The key codes of every key press packet the calculator received.
    std::vector<std::uint16_t> keys() const {
        std::vector<std::uint16_t> out;
        const auto bytes = calc.trace().sent();
        for (std::size_t i = 0; i + 3 < bytes.size(); ++i)
            if (bytes[i] == 0x09 && bytes[i + 1] == 0x87) out.push_back(static_cast<std::uint16_t>(bytes[i + 2] | bytes[i + 3] << 8));
        return out;
    }
    // A stand-in that answers the check before the fetch with yes (unless told what to
    // answer) and runs the action as its insertion.
    void inserter(const std::string& action, const std::string& check = "exit 0") {
        const std::string path = run.dir.filePath("wputfargo").toStdString();
        std::ofstream(path) << "#!/bin/sh\nif [ \"$1\" = --check ]; then " << check
                            << "; fi\nprintf '%s|%s' \"$1\" \"$2\" > \"$(dirname \"$0\")/args\"\n" << action << "\n";
        ::chmod(path.c_str(), 0755);
    }
    // An existing FARGO folder in the Settings page's field.
    void fargofolder() {
        const QString fargo = run.dir.filePath("fargo dir/");
        QDir().mkpath(fargo);
        run.form().settingspage.fargodiredit->setText(fargo);
    }
    bool boxsays(const std::string& text) {
        return QTest::qWaitFor(
            [&] { return !run.shell.boxes.empty() && run.shell.boxes.back().text.find(text) != std::string::npos; },
            3000);
    }
    // What the stand-in inserter was started with.
    std::string args() const {
        const Bytes b = readbytes(run.dir.filePath("args").toStdString());
        return std::string(b.begin(), b.end());
    }
};

void key(QWidget* w, QEvent::Type type, int k, const QString& text, bool autorepeat = false) {
    QKeyEvent e(type, k, Qt::NoModifier, text, autorepeat);
    QCoreApplication::sendEvent(w, &e);
}

TEST(AppRemote, KeysGoToTheCalculatorAsItsKeyCodes) {
    CalcApp app;
    app.run.form().remotebuttonClick();
    ASSERT_TRUE(app.remote().isVisible());
    app::RemoteWindow* r = &app.remote();
    QTest::keyClick(r, Qt::Key_A);
    QTest::keyClick(r, 'A', Qt::ShiftModifier);
    for (Qt::Key k : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Escape, Qt::Key_Left, Qt::Key_Up, Qt::Key_F1,
                      Qt::Key_F9, Qt::Key_Delete, Qt::Key_Home, Qt::Key_Shift})
        QTest::keyClick(r, k);
    // Held down: the presses repeat, the key goes once, on its release.
    key(r, QEvent::KeyPress, Qt::Key_B, "b");
    for (int i = 0; i < 3; ++i) {
        key(r, QEvent::KeyRelease, Qt::Key_B, "b", true);
        key(r, QEvent::KeyPress, Qt::Key_B, "b", true);
    }
    key(r, QEvent::KeyRelease, Qt::Key_B, "b");
    EXPECT_EQ(app.keys(), (std::vector<std::uint16_t>{97, 65, 13, 257, 264, 337, 338, 268, 8449, 265, 98}));

    // Ctrl+Z hides the window and sends nothing; shown again, an arrow goes as before.
    QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(r->isVisible());
    app.run.form().remotebuttonClick();
    QTest::keyClick(r, Qt::Key_Right);
    EXPECT_EQ(app.keys().size(), 12u);
    EXPECT_EQ(app.keys().back(), 340);
    EXPECT_FALSE(app.run.form().state().busy);
}

TEST(AppRemote, TypedCharactersAppearOnTheEntryLineInOrder) {
    CalcApp app;
    app.run.form().remotebuttonClick();
    app::RemoteWindow* r = &app.remote();
    // Typed while the first key waits for its acknowledgement: they follow it in order.
    for (const char* c : {"+", "3"}) {
        const int k = c[0] == '+' ? Qt::Key_Plus : Qt::Key_3;
        QCoreApplication::postEvent(r, new QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier, c));
        QCoreApplication::postEvent(r, new QKeyEvent(QEvent::KeyRelease, k, Qt::NoModifier, c));
    }
    QTest::keyClick(r, Qt::Key_2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.calc.entryline() == "2+3"; }, 2000)) << app.calc.entryline();
}

TEST(AppRemote, AKeyDuringATransferIsHeldBackAndSentAfterIt) {
    CalcApp app;
    app.run.form().remotebuttonClick();
    app.run.form().state().busy = true;
    QTest::keyClick(&app.remote(), Qt::Key_Q);
    QTest::qWait(100);
    EXPECT_TRUE(app.keys().empty());
    app.run.form().state().busy = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.keys() == std::vector<std::uint16_t>{'q'}; }, 2000));
}

TEST(AppRemote, KeysShowsTheHelp) {
    CalcApp app;
    app.remote().keysbutton->click();
    ASSERT_FALSE(app.run.shell.boxes.empty());
    EXPECT_EQ(app.run.shell.boxes.back().text, kRemoteKeysHelp);
}

TEST(AppFargo, PutFargoRestoresTheRewrittenBackupAndAsksForTheFiles) {
    CalcApp app;
    app.inserter("echo extra >> \"$2\"");  // in place, and harmless to the image
    app.fargofolder();
    app.run.shell.answers = {Answer::No};
    app.run.find<QPushButton>("fargobutton")->click();
    EXPECT_EQ(app.args(), app.run.dir.filePath("fargo dir").toStdString() + "|" +
                              app.run.dir.filePath("backup.~92").toStdString());
    ASSERT_FALSE(app.run.shell.boxes.empty()) << app.run.form().state().pendingerror;
    EXPECT_EQ(app.run.shell.boxes.back().text, kFargoFilesMissingText);
    EXPECT_FALSE(QFile::exists(app.run.dir.filePath("backup.~92")));
    EXPECT_FALSE(app.run.form().state().busy);
}

TEST(AppFargo, AFailingInserterIsReportedAndTheBackupKept) {
    CalcApp app;
    app.inserter("echo the image is full >&2; exit 1");
    app.fargofolder();
    app.run.find<QPushButton>("fargobutton")->click();
    EXPECT_TRUE(app.boxsays("failed (exit code 1).\nthe image is full"));
    EXPECT_TRUE(QFile::exists(app.run.dir.filePath("backup.~92")));
}

// A FARGO folder that is not there, or an inserter that says it cannot insert, is said
// before the calculator is touched, the inserter in its own words.
TEST(AppFargo, PutFargoSaysWhatStopsItBeforeFetching) {
    for (const bool folder : {false, true}) {
        CalcApp app;
        app.inserter("exit 0", "echo no inserter in the FARGO folder >&2; exit 3");
        if (folder) app.fargofolder();
        else app.run.form().settingspage.fargodiredit->setText(app.run.dir.filePath("no fargo/"));
        app.run.find<QPushButton>("fargobutton")->click();
        EXPECT_TRUE(app.boxsays(folder ? "(exit code 3).\nno inserter in the FARGO folder" : "does not exist"));
        EXPECT_TRUE(app.boxsays("Nothing was fetched"));
        EXPECT_TRUE(app.calc.trace().sent().empty());
        EXPECT_FALSE(QFile::exists(app.run.dir.filePath("backup.~92")));
    }
}

TEST(AppFargo, InsertFargoTakesTheSelectedFileElseOneFromTheDialog) {
    CalcApp app;
    app.inserter("exit 0");
    app.run.form().settingspage.fargodiredit->setText("/opt/fargo/");
    // Without a selection the file comes from the open dialog.
    app.run.shell.openanswers = {std::string("/data/my mem.92b")};
    app.run.find<QToolButton>("insertfargobutton")->click();
    EXPECT_EQ(app.args(), "/opt/fargo|/data/my mem.92b");
    // A selected file of the browser folder.
    app.run.form().settings().directory = "/browse";
    auto* item = new QTreeWidgetItem(QStringList{"b.92b"});
    app.run.form().open.filelist->addTopLevelItem(item);
    item->setSelected(true);
    app.run.find<QToolButton>("insertfargobutton")->click();
    EXPECT_EQ(app.args(), "/opt/fargo|/browse/b.92b");
    EXPECT_EQ(app.run.shell.opendialogs.size(), 1u);
}

TEST(AppFargo, FolderFieldsEndInASlashAndBrowseFillsThem) {
    CalcApp app;
    auto& sp = app.run.form().settingspage;
    for (QLineEdit* e : {sp.fargodiredit, sp.librarydiredit}) {
        for (const auto& [typed, left] : {std::pair{"/x/lib", "/x/lib/"}, {"/x/lib/", "/x/lib/"}, {"", ""}}) {
            e->setText(typed);
            emit e->editingFinished();
            EXPECT_EQ(e->text().toStdString(), left);
        }
    }
    const QString lib = app.run.dir.filePath("lib");
    QDir().mkpath(lib);
    app.run.shell.openanswers = {lib.toStdString(), app.run.dir.filePath("lib/some.92p").toStdString()};
    sp.librarydirbutton->click();
    EXPECT_EQ(sp.librarydiredit->text(), lib + "/");
    sp.fargodirbutton->click();
    EXPECT_EQ(sp.fargodiredit->text(), lib + "/");
    EXPECT_EQ(app.run.shell.opendialogs[0].title, "Select Library-directory and press open..");
    EXPECT_EQ(app.run.shell.opendialogs[1].title, "Select Fargo-directory and press open..");
}

} // namespace
} // namespace tessaly::test
