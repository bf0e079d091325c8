// tessaly92-cli on a virtual TI-89 Titanium's own USB port: the LINK usb-socket:PATH.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/clirun.h"

namespace {

using tessaly::clitest::runcli;
using tessaly::clitest::VcalcServer;

struct UsbTitanium {
    explicit UsbTitanium(std::vector<std::string> flags = {}) : path((scratch.path() / "usb").string()) {
        flags.insert(flags.end(), {"--model", "ti89t", "--usb", path});
        server = std::make_unique<VcalcServer>(flags, scratch.path() / "vcalc-stderr.txt");
        greeting = server->line();
    }
    tessaly::clitest::CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", "usb-socket:" + path});
        return runcli(args, scratch.path());
    }
    tessaly::test::TempDir scratch;
    std::string path;
    std::unique_ptr<VcalcServer> server;
    std::string greeting;
};

TEST(UsbCli, ReadyVersionScreenshotAndKeys) {
    UsbTitanium calc;
    ASSERT_NE(calc.greeting.find("listening on"), std::string::npos) << calc.greeting;
    auto r = calc.cli({"ready"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Calculator is ready!\nTI-89 Titanium, version 3.10\n");
    r = calc.cli({"version"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("TI-89 Titanium 3.10"), std::string::npos) << r.out;
    const auto png = calc.scratch.path() / "screen.png";
    r = calc.cli({"screenshot", "-o", png.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(png));
    r = calc.cli({"key", "--text", "2+3", "ENTER"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(UsbCli, RefusalsAndAMissingCalculatorAreSaid) {
    UsbTitanium away({"--away"});
    auto r = away.cli({"ready"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("homescreen"), std::string::npos) << r.err;
    r = away.cli({"screenshot", "-o", (away.scratch.path() / "s.png").string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("homescreen"), std::string::npos) << r.err;
    tessaly::test::TempDir empty;
    r = runcli({"--link", "usb-socket:" + (empty.path() / "none").string(), "ready"}, empty.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("No virtual TI-89 Titanium answers"), std::string::npos) << r.err;
}

} // namespace
