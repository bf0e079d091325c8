#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <sys/stat.h>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "files/tifile.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

// The program on a virtual TI-92 reacting at once, sending for real.
struct SendApp {
    AppRun run;
    VirtualCalculator calc{run.clock};
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
        run.sendforreal();
        run.shell.answers = {Answer::No};  // no copy first
        run.program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return run.form().startupdone(); }, 5000));
        QTest::qWait(20);
    }
    std::string path(const char* name) const { return run.dir.filePath(name).toStdString(); }
    std::string lastbox() const { return run.shell.boxes.empty() ? "" : run.shell.boxes.back().text; }
    void select(const char* name) {
        run.form().open.refreshbutton->click();
        for (auto* row : run.form().open.filelist->findItems(name, Qt::MatchExactly)) row->setSelected(true);
    }
    void getbackup(const std::string& name) {
        run.shell.inputanswers = {std::string("mine")};
        run.shell.saveanswers = {run.dir.filePath(QString::fromStdString(name)).toStdString()};
        run.find<QPushButton>("backupbutton")->click();
    }
    // Restores a backup file of the browser's folder with Send.
    void restore(const std::string& name) {
        run.form().shell().fileschanged(run.dir.path().toStdString());
        QTreeWidget* files = run.form().open.filelist;
        for (int i = 0; i < files->topLevelItemCount(); ++i)
            files->topLevelItem(i)->setSelected(files->topLevelItem(i)->text(0).toStdString() == name);
        run.shell.answers = {Answer::Yes};  // should the window ask first
        run.form().open.sendfilebutton->click();
    }
};

TEST(AppSend, ACopyAskedForBeforeSendingGoesWhereTheDialogSays) {
    SendApp app;
    app.run.shell.answers = {Answer::Yes};
    const std::string copy = app.path("copy.92e");
    app.run.shell.saveanswers = {copy};
    app.run.form().senddropped({app.file});
    ASSERT_EQ(app.run.shell.savedialogs.size(), 1u);
    EXPECT_EQ(app.run.shell.savedialogs[0].title, "Save file as..");
    EXPECT_EQ(app.run.shell.savedialogs[0].filter, "92E-files|*.92E");
    EXPECT_EQ(readbytes(copy), readbytes(app.file));
    EXPECT_NE(app.calc.memory().find("main\\note"), nullptr);
}

TEST(AppSend, ADroppedFileIsSent) {
    SendApp app;
    app.run.form().senddropped({app.file});
    ASSERT_NE(app.calc.memory().find("main\\note"), nullptr);
    EXPECT_EQ(part<QLabel>(app.run.form(), "status")->text(), QStringLiteral("1 variable(s) was sent"));
    EXPECT_FALSE(app.run.form().state().busy);
}

// A pipe would never end a read: refused at once, with one box and no question before it.
TEST(AppSend, ADroppedPipeOrFolderIsRefusedAtOnce) {
    SendApp app;
    const std::string pipe = app.path("pipe.92p");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::pair<std::string, const char*> drops[] = {{pipe, "pipe.92p is a pipe"}, {app.run.dir.path().toStdString(), " is a folder"}};
    for (const auto& [path, said] : drops) {
        app.run.shell.boxes.clear();
        app.run.form().senddropped({app.file, path});
        QTest::qWait(300);  // the status timer's turn, which would show a failure's box
        ASSERT_EQ(app.run.shell.boxes.size(), 1u) << path;
        EXPECT_NE(app.lastbox().find(std::string(said) + ", not a file that can be sent. Nothing was sent."), std::string::npos);
    }
    EXPECT_EQ(app.calc.memory().find("main\\note"), nullptr);
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
    app.run.find<QPushButton>("backupbutton")->click();
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
    app.run.form().screenshot.getscreenbutton->click();  // a picture, and a package, to save
    app.run.shell.saveanswers = {app.path("fetched.92b")};
    app.run.form().receive.backupbutton->click();
    app.run.form().receive.receivedbutton->click();
    const std::vector<std::tuple<const char*, std::deque<Answer>, std::function<void()>>> saves = {
        {"pack.92b", {}, [&] { app.run.form().receive.savebutton->click(); }},
        {"mem.92b", {}, [&] { app.run.form().receive.backupbutton->click(); }},
        {"shot.bmp", {Answer::Ok}, [&] { app.run.form().screenshot.savescreenbutton->click(); }},
        {"a.92t", {}, [&] { app.select("a.txt"), app.run.form().open.convertbutton->click(); }},
        {"b.92t", {}, [&] { app.run.program->textform().savebutton->click(); }},
        {"copy.92e", {Answer::Yes}, [&] { app.run.form().senddropped({app.file}); }}};
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
    app.run.form().senddropped({app.file});
    EXPECT_EQ(readbytes(app.path("copy.92e")), readbytes(app.file));
}

TEST(AppSend, RestoringABackupAsksFirstAndNoSendsNothing) {
    SendApp app({}, false);
    app.run.shell.saveanswers = {app.path("mem.92b")};
    app.run.form().receive.backupbutton->click();
    const Bytes before = backupimage(app.calc.memory());
    for (Answer answer : {Answer::No, Answer::Yes})
        for (const char* button : {"sendfilebutton", "sendvariablesbutton"}) {  // Send, S&end
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

// Cancel in the middle of Get backup, Receive and a restore is said once, as a cancel,
// with nothing left for the status timer to show in a box.
TEST(AppSend, ACancelledTransferIsSaidOnceAsACancel) {
    for (const char* what : {"Get backup", "Receive", "restore"}) {
        SCOPED_TRACE(what);
        SendApp app({}, false);
        app.calc.loaddemo();
        const std::string action = what;
        if (action == "Receive") {
            app.run.find<QPushButton>("updatebutton")->click();
            app.run.form().receive.variablelist->selectAll();
        }
        if (action == "restore") app.getbackup("mine.92b");
        int passes = 0;
        app.run.shell.onpump = [&](int) {
            if (app.run.form().state().busy && ++passes == 300) app.run.find<QToolButton>("cancelbtn")->click();
        };
        const auto from = std::ptrdiff_t(app.run.shell.statuses.size());
        if (action == "Get backup") app.getbackup("cut.92b");
        if (action == "Receive") app.run.find<QPushButton>("receivebutton")->click();
        if (action == "restore") app.restore("mine.92b");
        app.run.shell.onpump = nullptr;
        EXPECT_TRUE(app.run.form().state().pendingerror.empty()) << app.run.form().state().pendingerror;
        const auto& said = app.run.shell.statuses;
        EXPECT_EQ(std::count(said.begin() + from, said.end(), "Operation cancelled."), 1);
        EXPECT_EQ(app.run.shell.laststatus(), "Operation cancelled.");
        EXPECT_FALSE(QFile::exists(app.run.dir.filePath("cut.92b")));
    }
}

// A real TI-92's backup goes through, but the virtual TI-92 cannot take it into variables:
// its status text says it kept its memory, until an image of its own comes back.
TEST(AppSend, ARealTi92BackupIsKeptAndTheVirtualTi92SaysSo) {
    SendApp app({}, false);
    app.getbackup("mine.92b");
    std::filesystem::copy_file(std::filesystem::path(TESSALY_TESTDATA_DIR) / "samples" / "backup.92b",
                               app.run.dir.filePath("real.92b").toStdString());
    QLabel* label = app.run.find<QLabel>("linklabel");
    const QString plain = label->text();
    app.restore("real.92b");
    EXPECT_EQ(app.run.shell.laststatus(), "Backup sent completely!");
    EXPECT_EQ(app.calc.variablenames(), std::vector<std::string>{});
    EXPECT_EQ(label->text(), "The virtual TI-92 kept its memory");
    EXPECT_TRUE(label->toolTip().contains("cannot be taken into its variables"));
    app.restore("mine.92b");
    EXPECT_EQ(label->text(), plain);
}

} // namespace
} // namespace tessaly::test
