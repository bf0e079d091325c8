#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <functional>

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
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
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

// The program on the virtual TI-92 with its demo memory, its browser in a folder of its own.
struct BackupApp {
    AppRun run;
    VirtualTI92 calc{run.clock};
    std::filesystem::path folder;

    BackupApp() {
        calc.loaddemo();
        calc.setpace(0);
        folder = run.dir.filePath("files").toStdString();
        std::filesystem::create_directories(folder);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + folder.string() + "\n");
        run.start();
    }
    void getbackup(const std::string& name) {
        run.shell.inputanswers = {std::string("mine")};
        run.shell.saveanswers = {(folder / name).string()};
        run.find<QPushButton>("button27")->click();
    }
    // Restores a backup file of the browser's folder with Send.
    void restore(const std::string& name) {
        run.form().shell().refreshfilelist();
        QTreeWidget* files = run.form().open.ListView1;
        files->clearSelection();
        for (int i = 0; i < files->topLevelItemCount(); ++i)
            if (files->topLevelItem(i)->text(0).toStdString() == name) files->topLevelItem(i)->setSelected(true);
        run.shell.answers = {Answer::Yes};  // should the window ask first
        run.form().open.button9->click();
    }
    // Cancel is pressed when the transfer has run through this many message passes.
    void cancelafter(int passes) {
        run.shell.onpump = [this, passes, n = 0](int) mutable {
            if (run.form().state().busy && ++n == passes) run.find<QToolButton>("cancelbtn")->click();
        };
    }
};

TEST(AppSend, ACancelledTransferIsSaidOnceAsACancel) {
    struct Case {
        const char* what;
        std::function<void(BackupApp&)> prepare, action;
    };
    const Case cases[] = {
        {"Get backup", [](BackupApp&) {}, [](BackupApp& app) { app.getbackup("cut.92b"); }},
        {"Receive",
         [](BackupApp& app) {
             app.run.find<QPushButton>("Button30")->click();
             app.run.form().receive.Listbox2->selectAll();
         },
         [](BackupApp& app) { app.run.find<QPushButton>("button1")->click(); }},
        {"restore", [](BackupApp& app) { app.getbackup("mine.92b"); }, [](BackupApp& app) { app.restore("mine.92b"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BackupApp app;
        c.prepare(app);
        const std::size_t statuses = app.run.shell.statuses.size(), boxes = app.run.shell.boxes.size();
        app.cancelafter(300);
        c.action(app);
        app.run.shell.onpump = nullptr;
        // Nothing left for the status timer to show after the Cancel routine.
        EXPECT_TRUE(app.run.form().state().pendingerror.empty()) << app.run.form().state().pendingerror;
        const std::vector<std::string> said(app.run.shell.statuses.begin() + std::ptrdiff_t(statuses),
                                            app.run.shell.statuses.end());
        EXPECT_EQ(std::count(said.begin(), said.end(), "Operation cancelled."), 1);
        EXPECT_EQ(app.run.shell.laststatus(), "Operation cancelled.");
        for (std::size_t i = boxes; i < app.run.shell.boxes.size(); ++i)
            EXPECT_NE(app.run.shell.boxes[i].icon, Icon::Error) << app.run.shell.boxes[i].text;
        EXPECT_FALSE(std::filesystem::exists(app.folder / "cut.92b"));
    }
}

// The virtual TI-92 takes a real TI-92's backup whole but cannot read it into variables:
// the window's transfer ends well, so the virtual TI-92's own status text says it kept its
// memory, until an image of its own is taken in.
TEST(AppSend, ARealTi92BackupIsKeptAndTheVirtualTi92SaysSo) {
    BackupApp app;
    app.getbackup("mine.92b");
    std::filesystem::copy_file(std::filesystem::path(TESSALY_TESTDATA_DIR) / "samples" / "backup.92b",
                               app.folder / "real.92b");
    const std::vector<std::string> before = app.calc.variablenames();
    QLabel* label = app.run.find<QLabel>("linklabel");
    const QString plain = label->text();
    app.restore("real.92b");
    EXPECT_EQ(app.run.shell.laststatus(), "Backup sent completely!");
    EXPECT_EQ(app.calc.variablenames(), before);
    EXPECT_EQ(label->text(), "The virtual TI-92 kept its memory");
    EXPECT_TRUE(label->toolTip().contains("cannot be taken into its variables")) << label->toolTip().toStdString();
    app.restore("mine.92b");
    EXPECT_EQ(label->text(), plain);
}

} // namespace
} // namespace tessaly::test
