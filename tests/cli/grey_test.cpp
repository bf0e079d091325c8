// The grey cable from the command line: against tessaly92-vcalc --grey, and the words of a
// grey cable that does not open.
#include <gtest/gtest.h>

#include "cli/clirun.h"

using namespace tessaly::clitest;

namespace {

TEST(CliGrey, ListsTheVirtualTI92BehindAGreyCableAsOnTheParallelCable) {
    TempDir s;
    const std::string link = (s.path() / "ti92").string();
    VcalcServer server({"--grey", link, "--pace", "instant"});
    ASSERT_EQ(server.line().rfind("grey cable at " + link + " (/dev/pts/", 0), 0u);
    const auto trace = s.path() / "wire.txt";
    const CliResult grey = runcli({"--link", "grey:" + link, "--trace", trace.string(), "dir"}, s.path());
    ASSERT_EQ(grey.code, 0) << grey.err;
    EXPECT_NE(grey.err.find("no modem lines"), std::string::npos) << "a pseudo-terminal cannot power a cable";
    EXPECT_EQ(slurp(trace).rfind("> 09 68 00 00   RDY\n< 89 56 00 00   ACK\n", 0), 0u);
    const CliResult parallel = runcli({"--link", "virtual", "dir"}, s.path());
    EXPECT_EQ(grey.out, parallel.out);
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the server removes its link";
}

TEST(CliGrey, TheServerRemovesItsLinkOnEveryStopSignal) {
    TempDir s;
    const std::string link = (s.path() / "ti92").string();
    for (int sig : {SIGINT, SIGHUP}) {
        VcalcServer server({"--grey", link, "--pace", "instant"});
        ASSERT_EQ(server.line().rfind("grey cable at ", 0), 0u);
        server.signal(sig);
        EXPECT_EQ(server.wait(), 0) << sig;
        EXPECT_FALSE(std::filesystem::is_symlink(link)) << sig;
    }
}

TEST(CliGrey, ACableThatDoesNotOpenSaysHowToFixIt) {
    TempDir s;
    std::filesystem::create_symlink("/dev/pts/999999", s.path() / "gone");
    struct Case {
        std::string link;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"grey:" + (s.path() / "ttyUSB9").string(), 1, "plug in the grey cable"},
        {"grey:/dev/null", 1, "is not a serial port"},
        {"grey:" + s.path().string(), 1, "is not a serial port"},
        {"grey:" + (s.path() / "gone").string(), 1, "which is gone: start the program that serves it"},
        {"grey:", 2, "/dev/ttyUSB0"},
    };
    for (const Case& c : cases) {
        const CliResult r = runcli({"--link", c.link, "ready"}, s.path());
        EXPECT_EQ(r.code, c.code) << c.link;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

} // namespace
