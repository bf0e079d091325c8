#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "cli/clirun.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

class CliKeysFargo : public ::testing::Test {
protected:
    TempDir s;
    std::filesystem::path state;
    void SetUp() override { state = samplestate("group.92g", s.path()); }
    CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", "virtual:" + state.string()});
        return runcli(args, s.path());
    }
    std::filesystem::path script(const std::string& name, const std::string& body) {
        const auto path = s.path() / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }
};

TEST_F(CliKeysFargo, TypedTextAndNamedKeysRunOnTheCalculator) {
    const CliResult r = cli({"key", "--text", "newfold fresh", "ENTER"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The calculator ran the entry: its memory, kept in the state file, has the new folder.
    EXPECT_NE(slurp(state).find("fresh"), std::string::npos);
}

TEST_F(CliKeysFargo, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"key"}, {"key", "NOSUCHKEY"}, {"key", "--text"}, {"install-fargo"},
          {"insert-fargo", "--fargo-dir", "/f"}, {"insert-fargo", "missing.92b", "--fargo-dir", "/f"}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << r.err;
    }
}

TEST_F(CliKeysFargo, AFailingInserterLeavesTheCalculatorAndKeepsTheBackup) {
    const std::string before = slurp(state);
    const auto inserter = script("fails", "echo no fargo here >&2; exit 4");
    const CliResult r = cli({"install-fargo", "--fargo-dir", (s.path() / "fargo dir").string(), "--inserter",
                             inserter.string(), "--work-dir", s.path().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("failed (exit code 4)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no fargo here"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(s.path() / "backup.~92"));
    EXPECT_EQ(slurp(state), before);
}

TEST_F(CliKeysFargo, InsertFargoHandsTheInserterBothPathsWhole) {
    const auto backup = s.path() / "my mem.92b";
    ASSERT_EQ(cli({"backup", "-o", backup.string()}).code, 0);
    const auto inserter = script("wputfargo", "printf '%s|%s' \"$1\" \"$2\" > \"$(dirname \"$0\")/args\"");
    const CliResult r = runcli({"insert-fargo", backup.string(), "--fargo-dir", "/opt/far go/", "--inserter",
                                inserter.string()}, s.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(s.path() / "args"), "/opt/far go|" + backup.string());
}

TEST(CliWputfargo, TheShippedInserterSaysWhatItNeeds) {
    TempDir s;
    const auto backup = s / "b.92b";
    std::ofstream(backup) << "x";
    const auto shipped = std::filesystem::path(TESSALY_CLI).parent_path() / "wputfargo";
    const std::string command = "'" + shipped.string() + "' '" + (s / "fargo").string() + "' '" + backup.string() +
                                "' 2>'" + (s / "err").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(slurp(s / "err").find("FARGO's own inserter is not installed"), std::string::npos);
}

} // namespace
