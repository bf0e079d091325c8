#include <gtest/gtest.h>

#include "cli/clirun.h"
#include "link/model.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

struct ScreenshotCase {
    const char* what;
    std::vector<std::string> args;  // after "--link virtual screenshot"; OUT is the output file
    const char* out;                // its name
    int code;
    std::string magic;  // the written file's first bytes; empty: nothing written
    std::string err;    // found in stderr
};

class CliScreenshot : public ::testing::TestWithParam<ScreenshotCase> {};

TEST_P(CliScreenshot, WritesThePictureOnlyWhenItArrivedWhole) {
    const ScreenshotCase& c = GetParam();
    TempDir s;
    const auto out = s.path() / c.out;
    std::vector<std::string> args{"--link", "virtual", "--trace", (s.path() / "trace").string(), "screenshot"};
    for (const auto& a : c.args) args.push_back(a == "OUT" ? out.string() : a);

    const CliResult r = runcli(args, s.path());

    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.magic.empty()) {
        EXPECT_FALSE(std::filesystem::exists(out));
        if (c.code == 2) {
            EXPECT_TRUE(slurp(s.path() / "trace").empty()) << "refused before the transfer";
        }
    } else {
        EXPECT_EQ(slurp(out).substr(0, c.magic.size()), c.magic);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CliScreenshot,
    ::testing::Values(ScreenshotCase{"screen_png", {"-o", "OUT"}, "s.png", 0, "\x89PNG", "Screen shot completed"},
                      ScreenshotCase{"fcamera_grey_bmp", {"--fargo", "--calc-streams", "2", "-o", "OUT"}, "s.BMP", 0,
                                     "BM", "Screen shot completed"},
                      ScreenshotCase{"jpeg", {"-o", "OUT"}, "s.jpeg", 0, "\xFF\xD8\xFF", ""},
                      ScreenshotCase{"ppm", {"-o", "OUT"}, "s.ppm", 0, "P6\n240 128\n255\n", ""},
                      ScreenshotCase{"xpm", {"-o", "OUT"}, "s.xpm", 0, "/* XPM */", ""},
                      ScreenshotCase{"jpg_name_gif", {"-o", "OUT"}, "s.gif", 2, "", "s.gif: the name ends in no picture format; give it one of .png, .bmp, .jpg"},
                      ScreenshotCase{"fcamera_silent", {"--fargo", "-o", "OUT"}, "s.png", 1, "", "Did not got FCam header"},
                      ScreenshotCase{"no_output", {}, "s.png", 2, "", "[--no-pacing] screenshot -o FILE"},
                      ScreenshotCase{"bad_mode", {"--calc-streams", "3", "-o", "OUT"}, "s.png", 2, "",
                                     "3 is not a mode of --calc-streams"}),
    [](const auto& p) { return std::string(p.param.what); });

// Each command explains itself: --help gives its usage and options on stdout, too few
// arguments its usage line on stderr. The cable's options and --model come where the
// command reaches a calculator, --any-model where it sends files.
TEST(CliUsage, PerCommandHelpAndUsageLines) {
    TempDir s;
    const std::string cable = "usage: tessaly92-cli [--link LINK] [--trace FILE] [--no-pacing] ";
    const std::string model = " [--model " + modelids() + "]";
    const std::pair<std::vector<std::string>, std::string> helps[] = {
        {{"screenshot", "--help"}, cable + "screenshot -o FILE.png|FILE.bmp|FILE.jpg [--fargo] [--calc-streams 1|2]" + model +
                                       "\n\n      copy the calculator's screen"},
        {{"get", "x", "-h"}, cable + "get NAME... -o FILE [--comment TEXT] [--no-store-folder]"},
        {{"info", "--help"}, "usage: tessaly92-cli info FILE\n"},
    };
    for (const auto& [args, text] : helps) {
        const CliResult r = runcli(args, s.path());
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find(text), std::string::npos) << r.out;
    }
    const std::pair<std::vector<std::string>, std::string> tooshort[] = {
        {{"send"}, cable + "send FILE... [--vars NAME,...]"},
        {{"send", "--any-model"}, model + " [--any-model]\n"},
        {{"backup"}, cable + "backup -o FILE.92b"},
        {{"get", "-o", "x.92g", "--model", "ti89"}, cable + "get NAME... -o FILE"},
        {{"key"}, cable + "key KEY... [--text TEXT]"},
        {{"insert-fargo", "a.92b"}, "usage: tessaly92-cli insert-fargo FILE.92b --fargo-dir DIR [--inserter FILE]\n"},
        {{"info"}, "usage: tessaly92-cli info FILE\n"},
    };
    for (const auto& [args, text] : tooshort) {
        const CliResult r = runcli(args, s.path());
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("see --help"), std::string::npos) << r.err;
    }
}

} // namespace
