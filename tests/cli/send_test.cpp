#include <gtest/gtest.h>

#include <map>

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

TEST_F(CliSend, BadInputIsAUsageErrorAndSendsNothing) {
    const auto before = tessaly::test::readbytes(state);
    tessaly::test::writebytes(s.path() / "notes.txt", {'h', 'i'});
    const std::vector<std::vector<std::string>> cases = {
        {"send", (s.path() / "missing.92g").string()},
        {"send", sample.string(), "--vars", "nosuch"},
        {"send", (s.path() / "notes.txt").string()},
        {"restore", sample.string()},
        {"backup"},
    };
    for (const auto& args : cases) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << r.err;
        EXPECT_NE(r.err, "");
    }
    EXPECT_EQ(tessaly::test::readbytes(state), before);
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

} // namespace

namespace {
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
