#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "files/tifile.h"
#include "transfers/fargoinstall.h"
#include "transfers/sendrig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

Bytes backupof(const Bytes& image) {
    GoldenFile f("backup", 1);
    f.entry(82, "1.11", kBackupType).sizefield(static_cast<std::uint32_t>(84 + image.size())).section(image, true);
    return f.bytes;
}

void writescript(const std::filesystem::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
}

std::string readtext(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Put Fargo against the virtual TI-92, with blanks in every folder and a stand-in inserter
// that writes down its arguments and puts a prepared backup with a "fargo" folder in place.
struct FargoRig : SendRig {
    std::filesystem::path programdir = files / "my program";
    std::filesystem::path fargo = files / "fargo dir";
    FargoSetup setup;

    FargoRig() {
        std::filesystem::create_directories(programdir);
        std::filesystem::create_directories(fargo);
        CalcMemory withfargo = calc.memory();
        withfargo.folders.push_back({"fargo", {calcvariable("kernel", 0x12, {1, 2, 3, 4})}});
        writebytes(programdir / "fargo.92b", backupof(backupimage(withfargo)));
        setup = FargoSetup{programdir, programdir, fargo.string() + "/", files.path(), {}};
    }
    // It answers the check before the fetch with yes; the action is its insertion.
    void inserter(const std::string& action) {
        writescript(programdir / "wputfargo", "[ \"$1\" = --check ] && exit 0\n"
                                              "printf '%s\\n' \"$1\" \"$2\" > \"$(dirname \"$0\")/args\"\n" +
                                                  action + "\n");
    }
    void fargofiles() {
        for (std::string_view f : kFargoFiles) {
            const std::filesystem::path p = fargo / f;
            std::filesystem::create_directories(p.parent_path());
            const std::string name = p.stem().string();
            writebytes(p, groupfile({{name, 0x12, {0, 2, 0xE9, 0x00}}}));
        }
    }
    PutFargoResult put() {
        return putfargo(link, shell, store, setup, [this] { return shell.yes("sendfiles"); });
    }
    std::filesystem::path backup() const { return programdir / "backup.~92"; }
};

TEST(PutFargo, FetchesInsertsRestoresAndSendsTheFourFilesOnYes) {
    FargoRig rig;
    rig.inserter("cp \"$(dirname \"$0\")/fargo.92b\" \"$2\"");
    rig.fargofiles();
    rig.shell.yesanswers = {true};
    const PutFargoResult r = rig.put();

    ASSERT_TRUE(r.fetched && r.inserted && r.restored && r.filesfound && r.filessent) << rig.state.pendingerror;
    // The folder without its "/", the backup path, blanks intact.
    EXPECT_EQ(readtext(rig.programdir / "args"), rig.fargo.string() + "\n" + rig.backup().string() + "\n");
    EXPECT_NE(rig.calc.memory().folder("fargo"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(rig.backup()));
    EXPECT_EQ(rig.shell.questions, std::vector<std::string>{"sendfiles"});
    for (const char* name : {"main\\shell", "main\\romlib", "main\\flib", "main\\hexlib"})
        EXPECT_NE(rig.calc.memory().find(name), nullptr) << name;
    EXPECT_TRUE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
}

TEST(PutFargo, NoSendsNothingMoreAndMissingFilesAreSaid) {
    for (const bool present : {true, false}) {
        FargoRig rig;
        rig.inserter("cp \"$(dirname \"$0\")/fargo.92b\" \"$2\"");
        if (present) rig.fargofiles();
        rig.shell.yesanswers = {false};
        const PutFargoResult r = rig.put();
        EXPECT_TRUE(r.restored) << rig.state.pendingerror;
        EXPECT_FALSE(r.filessent);
        if (present) EXPECT_EQ(rig.shell.questions, std::vector<std::string>{"sendfiles"});
        else EXPECT_EQ(rig.shell.news, (std::vector<std::pair<News, std::string>>{{News::Information, std::string(kFargoFilesMissingText)}}));
        EXPECT_EQ(rig.calc.memory().find("main\\shell"), nullptr);
        EXPECT_FALSE(std::filesystem::exists(rig.backup()));
    }
}

struct InserterFault {
    const char* what;
    const char* action;  // nullptr: no inserter at all
    const char* says;
};

class PutFargoInserter : public ::testing::TestWithParam<InserterFault> {};

TEST_P(PutFargoInserter, ThatFailsLeavesTheCalculatorAloneAndKeepsTheBackup) {
    const InserterFault& f = GetParam();
    FargoRig rig;
    if (f.action) rig.inserter(f.action);
    rig.setup.inserterlimitms = 300;
    rig.setup.comment = "before FARGO";
    const Bytes before = backupimage(rig.calc.memory());
    const PutFargoResult r = rig.put();

    EXPECT_TRUE(r.fetched);
    EXPECT_FALSE(r.inserted || r.restored);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_NE(rig.state.pendingerror.find(f.says), std::string::npos) << rig.state.pendingerror;
    EXPECT_NE(rig.state.pendingerror.find(rig.backup().string()), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(rig.backup()));
    EXPECT_EQ(readtifile(rig.backup(), nullptr)->comment, "before FARGO") << "the comment box's, as any backup's";
    // Nothing went to the calculator after the backup was fetched.
    EXPECT_EQ(packetsof(rig.trace.sent()).back(), (Bytes{0x09, 0x56, 0x00, 0x00}));
    EXPECT_EQ(backupimage(rig.calc.memory()), before);
    EXPECT_TRUE(rig.shell.questions.empty() && rig.shell.news.empty());
    EXPECT_FALSE(rig.state.busy);
}

INSTANTIATE_TEST_SUITE_P(Faults, PutFargoInserter,
                         ::testing::Values(InserterFault{"Fails", "echo the image is too full >&2; exit 3",
                                                         "failed (exit code 3).\nthe image is too full"},
                                           InserterFault{"Hangs", "exec sleep 60", "did not finish within 300 ms"}),
                         [](const auto& tp) { return std::string(tp.param.what); });

// A cancel while a large FARGO backup goes back is a cancel, not FARGO's expected cut-off.
TEST(PutFargo, ACancelWhileRestoringIsNoInstallation) {
    FargoRig rig;
    writebytes(rig.programdir / "big.92b", backupfile(106000));
    rig.inserter("cp \"$(dirname \"$0\")/big.92b\" \"$2\"");
    rig.shell.onpump = [&](int) {
        if (rig.shell.gaugemax == 106000 && rig.shell.gaugeposition > 2048) rig.state.linkok = false;
    };
    EXPECT_FALSE(rig.put().restored);
    EXPECT_TRUE(rig.state.pendingerror.empty()) << rig.state.pendingerror;
    EXPECT_EQ(rig.shell.laststatus().rfind("Operation cancelled.", 0), 0u) << rig.shell.laststatus();
    EXPECT_NE(rig.shell.laststatus().find(rig.backup().string()), std::string::npos);
    EXPECT_TRUE(rig.shell.questions.empty() && rig.shell.news.empty());
}

TEST(PutFargo, ABackupNotFetchedStopsBeforeTheInserter) {
    FargoRig rig;
    rig.inserter("exit 0");
    rig.calc.misbehaviour().mute = true;
    const PutFargoResult r = rig.put();
    EXPECT_FALSE(r.fetched);
    EXPECT_FALSE(std::filesystem::exists(rig.programdir / "args"));
    EXPECT_FALSE(rig.state.linkok);
}

TEST(PutFargo, ASecondTransferIsRefused) {
    FargoRig rig;
    rig.state.busy = true;
    rig.put();
    EXPECT_EQ(rig.shell.refusals, 1);
    EXPECT_TRUE(rig.trace.text().empty());
}

TEST(Inserter, Arguments) {
    EXPECT_EQ(inserterarguments("/opt/fargo/", "/t/b.~92"), (std::vector<std::string>{"/opt/fargo", "/t/b.~92"}));
    EXPECT_EQ(inserterarguments("/opt/fargo", "b"), (std::vector<std::string>{"/opt/fargo", "b"}));
    EXPECT_EQ(inserterarguments("/", "b"), (std::vector<std::string>{"/", "b"}));
}

// The folder as the settings and the command line hand it over, with its "/".
TEST(Inserter, FilesLieBelowTheFargoFolderInSendingOrder) {
    const FargoSetup s{"/p", "/p", "/f/", "/browse", {}};
    EXPECT_EQ(fargofiles(s), (std::vector<std::filesystem::path>{"/f/prog/shell.92p", "/f/lib/romlib.92p",
                                                                 "/f/lib/flib.92p", "/f/lib/hexlib.92p"}));
}

} // namespace
