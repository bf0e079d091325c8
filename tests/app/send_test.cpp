#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "files/tifile.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

// The program on a virtual TI-92 reacting at once, sending for real.
struct SendApp {
    AppRun run;
    VirtualTI92 calc{run.clock};
    std::string file;

    explicit SendApp(std::vector<std::string> parameters = {}, bool withfile = true) {
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + run.dir.path().toStdString() +
                          "\n");
        file = run.dir.filePath("note.92e").toStdString();
        if (withfile) {
            GoldenFile f("n", 1);
            f.entry(82, "note", 0x00).sizefield(93).section({0x00, 0x03, 0x0C, 0x01, 0x1F});
            writebytes(file, f.bytes);
        }
        for (auto& p : parameters)
            if (p == "FILE") p = file;
        run.create(parameters);
        run.program->sendbinding().bindsendfilelist();
        run.shell.answers = {Answer::No};  // no copy first
        run.program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return run.form().startupdone(); }, 5000));
        QTest::qWait(20);
    }
    std::string path(const char* name) const { return run.dir.filePath(name).toStdString(); }
    std::string lastbox() const { return run.shell.boxes.empty() ? "" : run.shell.boxes.back().text; }
    void select(const char* name) {
        run.form().open.button25->click();
        for (auto* row : run.form().open.ListView1->findItems(name, Qt::MatchExactly)) row->setSelected(true);
    }
};

TEST(AppSend, ADroppedFileIsSent) {
    SendApp app;
    app.run.form().AppMessage({app.file});
    ASSERT_NE(app.calc.memory().find("main\\note"), nullptr);
    EXPECT_EQ(app.run.form().status->text(), QStringLiteral("1 variable(s) was sent"));
    EXPECT_FALSE(app.run.form().state().busy);
}

TEST(AppSend, ACommandLineFileWithTheInstallSwitchIsSentAndTheProgramEnds) {
    SendApp app({"FILE", "/i"});
    EXPECT_NE(app.calc.memory().find("main\\note"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app.run.form().isVisible(); }, 2000));
}

TEST(AppSend, GetBackupSavesTheCalculatorsMemory) {
    SendApp app({}, false);
    const std::string dest = app.run.dir.filePath("mem.92b").toStdString();
    app.run.shell.inputanswers = {std::string("my memory")};
    app.run.shell.saveanswers = {dest};
    app.run.find<QPushButton>("button27")->click();
    const Bytes saved = readbytes(dest);
    ASSERT_GT(saved.size(), 84u) << app.run.form().state().pendingerror;
    EXPECT_EQ(Bytes(saved.begin() + 82, saved.end() - 2), backupimage(app.calc.memory()));
    ASSERT_EQ(app.run.shell.savedialogs.size(), 1u);
    EXPECT_EQ(app.run.shell.savedialogs[0].filter, "TI-92 backupfiles|*.92b");
    EXPECT_EQ(app.run.shell.inputs.at(0).prompt, "Please write a comment for the backup.");
}

TEST(AppSaves, EverySaveDialogAsksBeforeReplacingAFile) {
    SendApp app;
    writebytes(app.path("a.txt"), Bytes{'h', 'i'});
    app.run.form().screenshot.button5->click();  // a picture, and a package, to save
    app.run.shell.saveanswers = {app.path("fetched.92b")};
    app.run.form().receive.button27->click();
    app.run.form().receive.SpeedButton2->click();
    const std::vector<std::tuple<const char*, std::deque<Answer>, std::function<void()>>> saves = {
        {"pack.92b", {}, [&] { app.run.form().receive.button8->click(); }},
        {"mem.92b", {}, [&] { app.run.form().receive.button27->click(); }},
        {"shot.bmp", {Answer::Ok}, [&] { app.run.form().screenshot.button6->click(); }},
        {"a.92t", {}, [&] { app.select("a.txt"), app.run.form().open.button29->click(); }},
        {"b.92t", {}, [&] { app.run.program->textform().button2->click(); }},
        {"copy.92e", {Answer::Yes}, [&] { app.run.form().AppMessage({app.file}); }}};
    for (const auto& [name, before, press] : saves) {
        SCOPED_TRACE(name);
        writebytes(app.path(name), Bytes{'o'});
        app.run.shell.answers = before;
        app.run.shell.answers.push_back(Answer::No);  // No goes back to the dialog, which is cancelled
        app.run.shell.saveanswers = {app.path(name)};
        press();
        EXPECT_EQ(app.lastbox(), name + std::string(app::kReplaceQuestion));
        EXPECT_EQ(readbytes(app.path(name)), Bytes{'o'});
    }
    EXPECT_EQ(app.calc.memory().find("main\\note"), nullptr);
    app.run.shell.answers = {Answer::Yes, Answer::Yes};
    app.run.shell.saveanswers = {app.path("copy.92e")};
    app.run.form().AppMessage({app.file});
    EXPECT_EQ(readbytes(app.path("copy.92e")), readbytes(app.file));
}

TEST(AppSend, RestoringABackupAsksFirstAndNoSendsNothing) {
    SendApp app({}, false);
    app.run.shell.saveanswers = {app.path("mem.92b")};
    app.run.form().receive.button27->click();
    const Bytes before = backupimage(app.calc.memory());
    for (Answer answer : {Answer::No, Answer::Yes})
        for (const char* button : {"button9", "button19"}) {  // Send, S&end
            SCOPED_TRACE(button);
            if (!app.calc.memory().find("main\\extra"))
                app.calc.memory().folders.front().variables.push_back(CalcVariable{"extra", 0x00, {0x00, 0x01, 0x05}});
            app.select("mem.92b");
            app.run.shell.answers = {answer};
            app.run.find<QAbstractButton>(button)->click();
            EXPECT_EQ(app.lastbox(), "Restore the backup mem.92b on the calculator?\rThe calculator's memory is replaced "
                                     "by the backup: every variable it holds now is lost.");
            EXPECT_EQ(backupimage(app.calc.memory()) == before, answer == Answer::Yes);
        }
}

} // namespace
} // namespace tessaly::test
