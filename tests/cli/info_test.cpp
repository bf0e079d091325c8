#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "files/filetestutil.h"

namespace tessaly::test {
namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

CliRun runinfo(const std::filesystem::path& dir, const std::string& file) {
    const auto errpath = dir / "stderr.txt";
    const std::string command = std::string(TESSALY_CLI) + " info '" + file + "' 2>'" + errpath.string() + "'";
    CliRun r;
    std::FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes e = readbytes(errpath);
    r.err.assign(e.begin(), e.end());
    return r;
}

TEST(CliInfo, ShowsTheInformationRowAndVariableList) {
    TempDir dir;
    Bytes s = stored({1, 2});
    writebytes(dir / "pack.92g", GoldenFile("my pack", 3)
                                     .entry(114, "games", 0x1F, 2)
                                     .entry(114, "tetris", 0x12)
                                     .entry(124, "readme", 0x0B)
                                     .sizefield(134)
                                     .section(s)
                                     .section(s)
                                     .bytes);
    CliRun r = runinfo(dir.path(), (dir / "pack.92g").string());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Number of variables: 3 (2 variables in 1 folder)\n"
              "Size: 134\n"
              "Calculator: TI-92\n"
              "Description: my pack\n"
              "games\\tetris      program\n"
              "games\\readme      text\n");
}

TEST(CliInfo, UnreadableFileExitsTwo) {
    TempDir dir;
    Bytes s = stored({1});
    Bytes f = GoldenFile("x", 1).entry(82, "x", 0).sizefield(91).section(s).bytes;
    f.resize(85);
    writebytes(dir / "cut.92p", f);
    CliRun r = runinfo(dir.path(), (dir / "cut.92p").string());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("Corrupted TI-file"), std::string::npos);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
    r = runinfo(dir.path(), (dir / "missing.92p").string());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Cannot open missing.92p"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    r = runinfo(dir.path(), "/dev/zero");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("a device"), std::string::npos) << r.err;
}

TEST(CliInfo, ControlBytesInAFileReachTheTerminalAsTi92Characters) {
    TempDir dir;
    writebytes(dir / "esc.92p", GoldenFile("\x1b[2Jgone", 1).entry(82, "\x80\xE9", 0).sizefield(91).section(stored({1})).bytes);
    const CliRun r = runinfo(dir.path(), (dir / "esc.92p").string());
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\u2b06[2Jgone"), std::string::npos) << r.out;  // the calculator's up arrow
    EXPECT_NE(r.out.find("\u03b1\u00e9" + std::string(16, ' ') + "expression\n"), std::string::npos) << r.out;
}

TEST(CliInfo, AModelWeDoNotTalkToIsNotReadAsATi92File) {
    TempDir dir;
    const CliRun r = runinfo(dir.path(), std::string(TESSALY_TESTDATA_DIR) + "/crafted/signed83.83p");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("not a TI-92 file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("**TI83F*"), std::string::npos) << r.err;
    // A TI-89 file is one of ours.
    EXPECT_EQ(runinfo(dir.path(), std::string(TESSALY_TESTDATA_DIR) + "/crafted/signed89.89p").code, 0);
}

} // namespace
} // namespace tessaly::test
