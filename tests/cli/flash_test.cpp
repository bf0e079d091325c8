// Flash commands as a user runs them, on a virtual TI-89 whose memory (applications too)
// lives in a state file from one run to the next.
#include <gtest/gtest.h>

#include <cctype>

#include "cli/clirun.h"
#include "files/flashfile.h"
#include "support/flashsamples.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

class CliFlash : public ::testing::Test {
protected:
    TempDir s;
    std::string link = "virtual:ti89:" + (s.path() / "memory.89g").string();
    CliResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", link});
        return runcli(args, s.path());
    }
    std::string write(const std::string& name, const FlashFile& file) {
        const std::string path = (s.path() / name).string();
        std::string error;
        EXPECT_TRUE(writeflashfile(path, file, &error)) << error;
        return path;
    }
};

// An application sent, listed as its own group, received back into the model's file only
// (the in-process calculator keeps a real pace: the 64 KiB blocks are the core tests').
TEST_F(CliFlash, ApplicationSentListedAndReceived) {
    const FlashFile app = samples::application(kTI89, "physics", 2000);
    const CliResult sent = cli({"send", write("physics.89k", app)});
    ASSERT_EQ(sent.code, 0) << sent.err;
    const CliResult dir = cli({"dir"});
    ASSERT_EQ(dir.code, 0) << dir.err;
    const auto row = dir.out.find("\nphysics\tapplication\t");
    ASSERT_NE(row, std::string::npos) << dir.out;
    const auto size = row + std::string_view("\nphysics\tapplication\t").size();
    EXPECT_TRUE(size < dir.out.size() && std::isdigit(static_cast<unsigned char>(dir.out[size]))) << dir.out;

    const auto wrong = s.path() / "back.9xk";
    EXPECT_EQ(cli({"get", "physics", "-o", wrong.string()}).code, 1);
    EXPECT_FALSE(std::filesystem::exists(wrong));
    const auto back = s.path() / "back.89k";
    const CliResult got = cli({"get", "physics", "-o", back.string()});
    ASSERT_EQ(got.code, 0) << got.err;
    std::string error;
    const auto file = readflashfile(back, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->payload()->data, app.payload()->data);
}

// A system goes only with --os; another model's file is refused without touching anything.
TEST_F(CliFlash, SystemNeedsTheOsOptionAndTheRightModel) {
    const std::string system = write("base.89u", samples::system(kTI89, 3, 10, 3000));
    const CliResult refused = cli({"send", system});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("--os"), std::string::npos) << refused.err;
    const CliResult other = cli({"send", "--os", write("base.9xu", samples::system(kTI92Plus, 3, 10, 3000))});
    EXPECT_EQ(other.code, 1);
    const CliResult taken = cli({"send", "--os", system});
    ASSERT_EQ(taken.code, 0) << taken.err;
    EXPECT_NE(cli({"version"}).out.find("3.10"), std::string::npos);
}

// The ID list, the certificate and the clock; a TI-92 has none of them and says so.
TEST_F(CliFlash, IdListCertificateAndClock) {
    const CliResult id = cli({"idlist"});
    ASSERT_EQ(id.code, 0) << id.err;
    EXPECT_TRUE(id.out.ends_with("\n") && samples::idlistshaped(std::string_view(id.out).substr(0, id.out.size() - 1))) << id.out;
    const auto cert = s.path() / "cert.89q";
    ASSERT_EQ(cli({"cert", "-o", cert.string()}).code, 0);
    EXPECT_TRUE(readflashfile(cert, nullptr));

    const CliResult set = cli({"clock", "--set", "2026-12-08T11:04:35"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(set.out.substr(0, 16), "2026-12-08 11:04");
    EXPECT_EQ(cli({"clock", "--set", "2026-02-30T00:00:00"}).code, 2);

    link = "virtual";
    const CliResult none = cli({"idlist"});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("TI-92"), std::string::npos) << none.err;
    EXPECT_EQ(cli({"clock"}).code, 1);
}

} // namespace
