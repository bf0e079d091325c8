#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
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

// Refused before the cable opens: no trace is written, no key reaches the calculator.
TEST_F(CliKeysFargo, UsageErrors) {
    const auto trace = s.path() / "wire.txt";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"key"}, {"key", "NOSUCHKEY"}, {"key", "--text"}, {"install-fargo"},
          {"insert-fargo", "--fargo-dir", "/f"}, {"insert-fargo", "missing.92b", "--fargo-dir", "/f"},
          {"key", "--text", "a\u20acb", "ENTER"}, {"key", "--text", "\u03b1\u03b2\u2264"}, {"key", "--text", "a\xff"}}) {
        std::vector<std::string> traced{"--trace", trace.string()};
        traced.insert(traced.end(), args.begin(), args.end());
        const CliResult r = cli(traced);
        EXPECT_EQ(r.code, 2) << args[0] << " " << r.err;
        EXPECT_FALSE(std::filesystem::exists(trace)) << args[0];
    }
    // The refusal names the character.
    EXPECT_NE(cli({"key", "--text", "a\u20acb"}).err.find("\"\u20ac\""), std::string::npos);
}

TEST_F(CliKeysFargo, AFailingInserterLeavesTheCalculatorAndKeepsTheBackup) {
    const std::string before = slurp(state);
    std::filesystem::create_directory(s.path() / "fargo dir");
    const auto inserter = script("fails", "[ \"$1\" = --check ] && exit 0\necho no fargo here >&2; exit 4");
    const CliResult r = cli({"install-fargo", "--fargo-dir", (s.path() / "fargo dir").string(), "--inserter",
                             inserter.string(), "--work-dir", s.path().string()});
    EXPECT_EQ(r.code, 1);
    // Its own words are in the message, once.
    const auto said = r.err.find("failed (exit code 4).\nno fargo here");
    EXPECT_NE(said, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no fargo here", said + 30), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(s.path() / "backup.~92"));
    EXPECT_EQ(slurp(state), before);
}

// A FARGO folder that is not there, or an inserter that cannot insert (the shipped one
// without FARGO's own), is said before the cable opens: nothing is fetched.
TEST_F(CliKeysFargo, ASetupThatCannotInsertIsSaidBeforeAnythingIsFetched) {
    const std::string fargo = (s.path() / "fargo").string(), trace = (s.path() / "wire.txt").string();
    std::filesystem::create_directory(fargo);
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {(s.path() / "no fargo").string(), "", "does not exist"},
        {fargo, "", "FARGO's own inserter is not installed"},  // the shipped one, without FARGO's
        {fargo, (s.path() / "none").string(), "could not be started"}};
    for (const auto& [dir, inserter, says] : cases) {
        std::vector<std::string> args{"--trace", trace, "install-fargo", "--fargo-dir", dir, "--work-dir", s.path().string()};
        if (!inserter.empty()) args.insert(args.end(), {"--inserter", inserter});
        const CliResult r = cli(args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Nothing was fetched"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(trace) || std::filesystem::exists(s.path() / "backup.~92"));
    }
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
    const std::string command = quoted(shipped.string()) + " " + quoted((s / "fargo").string()) + " " +
                                quoted(backup.string()) + " 2>" + quoted((s / "err").string());
    const int status = std::system(command.c_str());
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(slurp(s / "err").find("FARGO's own inserter is not installed"), std::string::npos);
    // With FARGO's inserter in place, the check before a fetch says yes.
    std::filesystem::create_directory(s / "fargo");
    std::ofstream(s / "fargo" / "putfargo") << "#!/bin/sh\n";
    ::chmod((s / "fargo" / "putfargo").c_str(), 0755);
    const std::string check = quoted(shipped.string()) + " --check " + quoted((s / "fargo").string());
    EXPECT_EQ(WEXITSTATUS(std::system(check.c_str())), 0);
}

} // namespace
