#include <gtest/gtest.h>

#include <algorithm>

#include "cli/clirun.h"

using namespace tessaly::clitest;

namespace {

TEST(CliDir, ListsEveryVariableWithTypeAndSize) {
    TempDir s;
    const auto state = samplestate("group2.92g", s.path());
    const CliResult r = runcli({"--link", "virtual:" + state.string(), "dir"}, s.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("group\\data\tdata\t29\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("group\\pic\tpicture\t3097\n"), std::string::npos);
    EXPECT_NE(r.out.find("group\\txt\ttext\t25\n"), std::string::npos);
    EXPECT_NE(r.out.find("group\\f\tfunction\t14\n"), std::string::npos);
    // A folder is a line of its own only while it holds no variable.
    EXPECT_NE(r.out.find("main\\\tfolder\t0\n"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 13);
    EXPECT_NE(r.err.find("Directory list received."), std::string::npos);
}

TEST(CliDir, WritesTheExchangeToTheTrace) {
    TempDir s;
    const auto trace = s.path() / "trace.txt";
    const CliResult r = runcli({"--link", "virtual", "--trace", trace.string(), "dir"}, s.path());
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = slurp(trace);
    EXPECT_EQ(text.rfind("> 09 68 00 00   RDY\n< 89 56 00 00   ACK\n> 09 A2 06 00 00 00 00 00 19 00 19 00   REQ\n", 0), 0u) << text;
}

TEST(CliDir, TakesNoArguments) {
    TempDir s;
    const CliResult r = runcli({"--link", "virtual", "dir", "extra"}, s.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
}

} // namespace
