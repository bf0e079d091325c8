#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <sys/stat.h>

#include "cli/clirun.h"
#include "files/tifile.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

// Variable name (without folder) -> stored bytes, of every variable in a TI-92 file.
std::map<std::string, std::vector<std::uint8_t>> contents(const std::filesystem::path& p) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    TiFileReader reader;
    std::string error;
    if (!reader.open(p, &error)) return out;
    for (const TiEntry* v : reader.file().variables()) {
        std::vector<std::uint8_t> data;
        reader.readvariable(*v, data);
        std::string name = v->name;
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out[name] = data;
    }
    return out;
}

class CliSend : public ::testing::Test {
protected:
    TempDir s;
    std::filesystem::path state, sample;
    void SetUp() override {
        state = samplestate("group.92g", s.path());
        sample = samplestate("str.92s", s.path());
        if (state.empty() || sample.empty()) GTEST_SKIP() << "no shared samples";
    }
    CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", "virtual:" + state.string()});
        return runcli(args, s.path());
    }
};

TEST_F(CliSend, SentVariablesAreInTheCalculatorsStateFile) {
    const CliResult r = cli({"send", sample.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1 variable(s) sent\n");
    EXPECT_NE(r.err.find("100%"), std::string::npos);
    const auto sent = contents(sample);
    const auto memory = contents(state);
    for (const auto& [name, bytes] : sent) {
        ASSERT_TRUE(memory.count(name)) << name;
        EXPECT_EQ(memory.at(name), bytes);
    }
}

TEST_F(CliSend, BackupAndRestoreBringTheMemoryBack) {
    const auto before = contents(state);
    const auto backup = s.path() / "mem.92b";
    ASSERT_EQ(cli({"backup", "-o", backup.string()}).code, 0);
    ASSERT_EQ(cli({"send", sample.string()}).code, 0);
    ASSERT_NE(contents(state), before);

    const CliResult r = cli({"restore", backup.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Backup sent completely!"), std::string::npos);
    EXPECT_EQ(contents(state), before);
}

// Refused before the cable opens: no trace is written, nothing is sent or fetched.
TEST_F(CliSend, BadInputIsAUsageErrorAndSendsNothing) {
    const auto before = tessaly::test::readbytes(state);
    tessaly::test::writebytes(s.path() / "notes.txt", {'h', 'i'});
    std::filesystem::create_directory(s.path() / "folder");
    ASSERT_EQ(::mkfifo((s.path() / "fifo.92b").c_str(), 0644), 0);
    const std::string name = contents(sample).begin()->first;
    auto spoilt = tessaly::test::readbytes(sample);
    spoilt[72] = 0xFF;  // the type code: sent, it would replace the variable with a typeless one
    tessaly::test::writebytes(s.path() / "spoilt.92s", spoilt);
    const std::vector<std::vector<std::string>> cases = {
        {"send", sample.string(), (s.path() / "spoilt.92s").string()},
        {"--model", "ti92", "backup", "-o", (s.path() / "mem.89g").string()},
        {"send", (s.path() / "missing.92g").string()},
        {"send", sample.string(), "--vars", "nosuch"},
        {"send", sample.string(), "--vars", ""},
        {"send", sample.string(), "--vars", ","},
        {"send", sample.string(), "--vars", name + ","},
        {"send", (s.path() / "notes.txt").string()},
        {"restore", sample.string()},
        {"backup"},
        {"backup", "-o", (s.path() / "folder").string()},
        {"backup", "-o", (s.path() / "fifo.92b").string()},
        {"backup", "-o", (s.path() / "no such" / "mem.92b").string()},
        {"backup", "-o", (s.path() / "mem.92b").string(), "--comment", "5 \u20ac"},
    };
    const auto trace = s.path() / "wire.txt";
    for (auto args : cases) {
        args.insert(args.begin(), {"--trace", trace.string()});
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 2) << args[2] << " " << r.err;
        EXPECT_NE(r.err, "");
        EXPECT_FALSE(std::filesystem::exists(trace)) << args[2] << " " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(s.path() / "mem.92b"));
    EXPECT_EQ(tessaly::test::readbytes(state), before);
    // Without --model the calculator's answer tells: a TI-92's memory is no TI-89 file.
    const CliResult r = cli({"backup", "-o", (s.path() / "mem.89g").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("mem.89g names a TI-89 file, and the data is a TI-92's: name it .92b."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(s.path() / "mem.89g"));
}

TEST(CliBackup, AFailedBackupIsNotSaved) {
    TempDir s;
    VirtualCable cable(s.path(), {"--mute"});
    ASSERT_TRUE(cable.listening());
    const auto dest = s.path() / "mem.92b";
    const CliResult r = runcli({"--link", cable.link(), "backup", "-o", dest.string()}, s.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Did not got requestACK"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dest));
}

// A real TI-92's memory image reaches the virtual TI-92 whole, but it cannot take such an
// image into its variables: it keeps its memory and says so to its own user, whether it
// runs in its own process or inside the command. The image is the first 2 KB of a real
// TI-92's backup, so the virtual TI-92's real pace takes a moment only.
TEST(CliBackup, ARealTi92BackupLeavesTheVirtualMemoryAndIsSaid) {
    using namespace tessaly::test;
    TempDir s;
    const Bytes whole = readbytes(std::filesystem::path(TESSALY_TESTDATA_DIR) / "samples" / "backup.92b");
    const auto real = s.path() / "real.92b";
    writebytes(real, GoldenFile("real", 1).entry(82, "1.11", 0x1D).sizefield(84 + 2048)
                         .section(Bytes(whole.begin() + 82, whole.begin() + 82 + 2048), true).bytes);
    const std::string notice = "the virtual TI-92 kept its memory: a backup it did not make cannot be taken";
    VirtualCable cable(s.path(), {"--pace", "instant"});
    ASSERT_TRUE(cable.listening());
    const std::string before = runcli({"--link", cable.link(), "dir"}, s.path()).out;
    const CliResult r = runcli({"--link", cable.link(), "restore", real.string()}, s.path());
    EXPECT_NE(r.err.find("Backup sent completely!"), std::string::npos) << r.err;
    EXPECT_EQ(runcli({"--link", cable.link(), "dir"}, s.path()).out, before);
    EXPECT_NE(cable.errors().find("tessaly92-vcalc: " + notice), std::string::npos) << cable.errors();
    const CliResult inside = runcli({"--link", "virtual", "restore", real.string()}, s.path());
    EXPECT_NE(inside.err.find("tessaly92-cli: " + notice), std::string::npos) << inside.err;
}

} // namespace

namespace {
// Ctrl+C in the middle of a backup, a restore or a receive is said as a cancel, once:
// no reason left half written, no count, no missing byte.
TEST(CliCancel, IsSaidOnceAsACancel) {
    TempDir s;
    const std::string mem = (s.path() / "mem.92b").string(), cut = (s.path() / "cut.92b").string();
    ASSERT_EQ(runcli({"--link", "virtual", "backup", "-o", mem}, s.path()).code, 0);
    std::vector<std::string> get{"--link", "virtual", "get", "-o", (s.path() / "got.92g").string()};
    std::istringstream listing(runcli({"--link", "virtual", "dir"}, s.path()).out);
    for (std::string line; std::getline(listing, line);) get.push_back(line.substr(0, line.find('\t')));
    for (const auto& args : {std::vector<std::string>{"--link", "virtual", "backup", "-o", cut},
                             {"--link", "virtual", "restore", mem}, get}) {
        const CliResult r = runcli(args, s.path(), "0.7");  // each runs for seconds
        EXPECT_EQ(r.code, 1) << r.err;
        const auto first = r.err.find("Operation cancelled.");
        EXPECT_TRUE(first != std::string::npos && r.err.find("Operation cancelled.", first + 1) == std::string::npos)
            << r.err;
        for (const char* never : {": \n", "Did not", "variable(s) received", "Backup sent"})
            EXPECT_EQ(r.err.find(never), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(cut) || std::filesystem::exists(s.path() / "got.92g"));
}

TEST(CliSendRefused, TheRefusalIsSaidOnce) {
    TempDir s;
    VirtualCable cable(s.path(), {"--refuse-headers"});
    ASSERT_TRUE(cable.listening());
    const auto sample = samplestate("str.92s", s.path());
    const CliResult r = runcli({"--link", cable.link(), "send", sample.string()}, s.path());
    EXPECT_EQ(r.code, 1);
    const auto first = r.err.find("Variable(s) not sent: str");
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Variable(s) not sent", first + 1), std::string::npos) << r.err;
}
} // namespace
