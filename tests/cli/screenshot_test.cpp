#include <gtest/gtest.h>

#include "cli/clirun.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

struct ScreenshotCase {
    const char* what;
    std::vector<std::string> args;  // after "--link virtual screenshot"; OUT is the output file
    int code;
    std::string magic;  // the written file's first bytes; empty: nothing written
    std::string err;    // found in stderr
};

class CliScreenshot : public ::testing::TestWithParam<ScreenshotCase> {};

TEST_P(CliScreenshot, WritesThePictureOnlyWhenItArrivedWhole) {
    const ScreenshotCase& c = GetParam();
    TempDir s;
    const auto out = s.path() / (c.magic == "BM" ? "shot.bmp" : "shot.png");
    std::vector<std::string> args{"--link", "virtual", "screenshot"};
    for (const auto& a : c.args) args.push_back(a == "OUT" ? out.string() : a);

    const CliResult r = runcli(args, s.path());

    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.magic.empty()) {
        EXPECT_FALSE(std::filesystem::exists(out));
    } else {
        EXPECT_EQ(slurp(out).substr(0, c.magic.size()), c.magic);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CliScreenshot,
    ::testing::Values(ScreenshotCase{"screen_png", {"-o", "OUT"}, 0, "\x89PNG", "Screen shot completed"},
                      ScreenshotCase{"fcamera_grey_bmp", {"--fargo", "--calc-streams", "2", "-o", "OUT"}, 0, "BM",
                                     "Screen shot completed"},
                      ScreenshotCase{"fcamera_silent", {"--fargo", "-o", "OUT"}, 1, "", "Did not got FCam header"},
                      ScreenshotCase{"no_output", {}, 2, "", "needs -o"},
                      ScreenshotCase{"bad_mode", {"--calc-streams", "3", "-o", "OUT"}, 2, "", "unexpected"}),
    [](const auto& p) { return std::string(p.param.what); });

} // namespace
