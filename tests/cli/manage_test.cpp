#include <gtest/gtest.h>

#include <sstream>

#include "cli/clirun.h"

using namespace tessaly::clitest;

namespace {

using Bytes = std::vector<unsigned>;

// The bytes of a capture (hex before the " |") or of a --trace file ("> 09 68 00 00   RDY").
Bytes wirebytes(const std::string& text, bool capture) {
    Bytes out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(capture ? line.substr(0, line.find('|')) : line.substr(std::min<std::size_t>(2, line.size())));
        for (std::string w; words >> w && w.size() == 2 && std::isxdigit(w[0]) && std::isxdigit(w[1]);)
            out.push_back(static_cast<unsigned>(std::stoul(w, nullptr, 16)));
    }
    return out;
}

// The key codes of every 09 87 packet, in order.
Bytes keys(const Bytes& b) {
    Bytes out;
    for (std::size_t i = 0; i + 3 < b.size(); ++i)
        if (b[i] == 0x09 && b[i + 1] == 0x87) out.push_back(b[i + 2] | b[i + 3] << 8), i += 3;
    return out;
}

std::string capture(const std::string& name) { return slurp(std::filesystem::path(TESSALY_TESTDATA_DIR) / "captures" / name); }

class CliManage : public ::testing::Test {
protected:
    TempDir s;
    std::filesystem::path state;
    void SetUp() override { state = samplestate("group2.92g", s.path()); }
    CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", "virtual:" + state.string()});
        return runcli(args, s.path());
    }
    std::string dir() { return cli({"dir"}).out; }
};

TEST_F(CliManage, DeleteAndVersionCrossTheWireAsTheCapturesShow) {
    state = s.path() / "group.92g";
    std::filesystem::copy_file(std::filesystem::path(TESSALY_TESTDATA_DIR) / "captures" / "GROUP.92G", state);
    const std::string z = (std::filesystem::path(TESSALY_TESTDATA_DIR) / "captures" / "z.92E").string();
    ASSERT_EQ(cli({"send", z}).code, 0);
    ASSERT_EQ(cli({"mv", "main\\z", "test\\z"}).code, 0);
    const std::string trace = (s.path() / "wire.txt").string();
    const CliResult rm = cli({"--trace", trace, "rm", "test\\z"});
    EXPECT_EQ(rm.code, 0) << rm.err;
    EXPECT_EQ(rm.out, "deleted test\\z\n");
    EXPECT_EQ(keys(wirebytes(slurp(trace), false)), keys(wirebytes(capture("delete_var_x.log"), true)));
    EXPECT_EQ(dir().find("test\\z"), std::string::npos);

    const CliResult version = cli({"--trace", trace, "version"});
    EXPECT_EQ(version.code, 0) << version.err;
    EXPECT_EQ(version.out, "TI-92 1.11\n");
    EXPECT_EQ(wirebytes(slurp(trace), false), wirebytes(capture("get_version.log"), true));
}

struct Step {
    std::vector<std::string> args;
    int code;
    std::string said;    // on stdout when it worked, else on stderr
    std::string listed;  // a line dir shows afterwards ("" : none to look for)
    std::string gone;    // ... and one it no longer shows
};

// One calculator run through the commands in turn, each checked by the listing after it.
TEST_F(CliManage, CommandsChangeTheListingOrSayPlainlyWhyNot) {
    const std::vector<Step> steps = {
        {{"mkdir", "extra"}, 0, "made folder extra\n", "", ""},
        {{"mkdir", "extra"}, 1, "The folder extra is on the calculator already.", "", ""},
        {{"mv", "group\\f", "extra\\g"}, 0, "renamed to extra\\g\n", "extra\\g\tfunction", "group\\f\t"},
        {{"mv", "group\\data", "nowhere\\d"}, 1, "The folder nowhere is not on the calculator.", "group\\data\t", ""},
        {{"lock", "extra\\g"}, 0, "locked extra\\g\n", "", ""},
        {{"rm", "extra\\g", "group\\txt"}, 1, "extra\\g is locked: unlock it first.", "extra\\g\t", "group\\txt\t"},
        {{"unlock", "extra\\g"}, 0, "unlocked extra\\g\n", "", ""},
        {{"rm", "extra\\g", "group\\nothere"}, 1, "group\\nothere is not on the calculator.", "", "extra\\g\t"},
        {{"archive", "group\\data"}, 1, "Archive is not on this calculator.", "group\\data\t", ""},
        {{"rm", "1abc"}, 2, "1abc is not a name the calculator takes", "", ""},
        {{"rm", "group\\data_and_more_x"}, 2, "is longer than a name can be", "group\\data\t", ""},
        {{"mv", "group\\data"}, 2, "rename takes a name and a new name", "", ""},
    };
    for (const Step& step : steps) {
        const CliResult r = cli(step.args);
        const std::string what = step.args[0] + " " + step.args[1];
        EXPECT_EQ(r.code, step.code) << what << ": " << r.err;
        EXPECT_NE((step.code ? r.err : r.out).find(step.said), std::string::npos) << what << ": " << r.out << r.err;
        const std::string listing = dir();
        EXPECT_TRUE(step.listed.empty() || listing.find(step.listed) != std::string::npos) << what;
        EXPECT_TRUE(step.gone.empty() || listing.find(step.gone) == std::string::npos) << what;
    }
}

TEST_F(CliManage, SendingOntoAnExistingNameNeedsLeave) {
    const std::string str = samplestate("str.92s", s.path()).string();
    ASSERT_EQ(cli({"send", str}).code, 0);
    const CliResult again = cli({"send", str});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("On the calculator already, nothing sent"), std::string::npos) << again.err;
    EXPECT_EQ(again.err.find("Sending"), std::string::npos) << "nothing may go before the refusal";

    const CliResult skip = cli({"send", str, "--skip-existing"});
    EXPECT_EQ(skip.code, 0) << skip.err;
    EXPECT_EQ(skip.out, "nothing sent, every variable is on the calculator already: main\\str\n");
    const CliResult overwrite = cli({"send", str, "--overwrite"});
    EXPECT_EQ(overwrite.out, "1 variable(s) sent\n");
    EXPECT_EQ(skip.err.find("was sent"), std::string::npos) << "said once, on stdout";
    EXPECT_EQ(overwrite.err.find("was sent"), std::string::npos) << "said once, on stdout";

    ASSERT_EQ(cli({"lock", "main\\str"}).code, 0);
    const CliResult locked = cli({"send", str, "--overwrite"});
    EXPECT_EQ(locked.code, 1);
    EXPECT_NE(locked.err.find("(locked)"), std::string::npos) << locked.err;
    EXPECT_EQ(cli({"send", str, "--overwrite", "--skip-existing"}).code, 2);
}

} // namespace
