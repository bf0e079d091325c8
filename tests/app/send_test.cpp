#include <QPushButton>

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

} // namespace
} // namespace tessaly::test
