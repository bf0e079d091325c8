#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/clirun.h"
#include "support/flashsamples.h"

namespace tessaly::clitest {
namespace {

using test::Bytes;
using test::GoldenFile;
using test::readbytes;
using test::stored;
using test::writebytes;

Bytes onevariable(std::string_view comment) {
    return GoldenFile(comment, 1).entry(82, "x", 0x12).sizefield(91).section(stored({1})).bytes;
}

TEST(CliBrowse, LsListsTheRowsOfTheFileBrowser) {
    TempDir dir, scratch;
    writebytes(dir / "a.92p", onevariable("demo"));
    writebytes(dir / "B.TXT", {'h', 0x9B, 'i'});  // a lone C1 byte: CSI to some terminals
    writebytes(dir / "c.92@", onevariable("never"));
    writebytes(dir / "esc.92g", onevariable("\x1b[2J\x9b" "1m"));
    std::filesystem::copy_file(TESSALY_TESTDATA_DIR "/crafted/signed83.83p", dir / "m83.92p");
    CliResult r = runcli({"ls", dir.path().string()}, scratch.path());
    EXPECT_EQ(r.code, 0) << r.err;
    // TI-92 bytes show as their characters (0x1B is an arrow, 0x9B y-bar), file bytes escaped.
    EXPECT_EQ(r.out, "a.92p\tprogram\tdemo\nB.TXT\ttext\th\\x9Bi\nesc.92g\tgroup\t\u2B06[2Jy\u0305" "1m\n"
                     "m83.92p\tother-model\tMade for another model (**TI83F*)\n");
    r = runcli({"ls", dir.path().string(), "--no-desc"}, scratch.path());
    EXPECT_EQ(r.out, "a.92p\tprogram\tNot showing!\nB.TXT\ttext\tNot showing!\nesc.92g\tgroup\tNot showing!\n"
                     "m83.92p\tprogram\tNot showing!\n");
    r = runcli({"ls", dir.path().string(), "--no-92"}, scratch.path());
    EXPECT_EQ(r.out, "B.TXT\ttext\th\\x9Bi\n");
    r = runcli({"ls", (dir / "gone").string()}, scratch.path());
    EXPECT_EQ(r.code, 2);
}

TEST(CliBrowse, FlashFilesAreListedAndShownPartByPart) {
    TempDir dir, scratch;
    FlashFile app = samples::application(kTI89, "demoapp", 12 * 1024);
    app.parts[1].revisionminor = 5;
    ASSERT_TRUE(writeflashfile(dir / "demo.89k", app, nullptr));
    FlashFile hostile = samples::application(kV200, "\x1b[2J", 10);
    ASSERT_TRUE(writeflashfile(dir / "esc.v2k", hostile, nullptr));
    Bytes cut = flashbytes(app);
    cut.resize(160);
    writebytes(dir / "cut.9xu", cut);

    CliResult r = runcli({"ls", dir.path().string()}, scratch.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "cut.9xu\tdamaged\tcut.9xu is damaged: part 2: its header is cut short by the end of the file.\n"
                     "demo.89k\tflash\tTI-89 application demoapp, version 1.05, 12 KB\n"
                     "esc.v2k\tflash\tVoyage 200 application \u2B06[2J, version 1.00, 95 bytes\n");

    r = runcli({"info", (dir / "demo.89k").string()}, scratch.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Parts: 2\nSize: 12575\nDescription: TI-89 application demoapp, version 1.05, 12 KB\n"
                     "Part 1: licence (stays on the computer)\n  Name: license\n  Version: 1.00\n  Date: 2005-03-14\n"
                     "  Calculator: TI-89 or TI-89 Titanium\n  Size: 41 bytes\n"
                     "Part 2: application\n  Name: demoapp\n  Version: 1.05\n  Date: 2005-03-14\n"
                     "  Calculator: TI-89 or TI-89 Titanium\n  Size: 12378 bytes\n");
    r = runcli({"info", (dir / "cut.9xu").string()}, scratch.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tessaly92-cli: cut.9xu is damaged: part 2: its header is cut short by the end of the file.\n");
}

TEST(CliBrowse, DescribeShowsAndWritesTheDescription) {
    TempDir dir;
    const auto file = dir / "a.92p";
    Bytes original = onevariable("old");
    std::copy_n("group", 5, original.begin() + 10);  // the default folder, as real files carry it
    writebytes(file, original);
    CliResult r = runcli({"describe", file.string()}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "old\n");
    r = runcli({"describe", file.string(), "π ≤ " + std::string(40, 'e')}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "tessaly92-cli: the description is cut to its first 34 characters\n");
    r = runcli({"describe", file.string()}, dir.path());
    EXPECT_EQ(r.out, "π ≤ " + std::string(30, 'e') + "\n");
    const Bytes written = readbytes(file);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 18), Bytes(original.begin(), original.begin() + 18));

    const Bytes before = readbytes(file);
    r = runcli({"describe", file.string(), "日本"}, dir.path());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no TI-92 equivalent"), std::string::npos) << r.err;
    EXPECT_EQ(readbytes(file), before);
    if (::geteuid() != 0) {
        ::chmod(file.c_str(), 0444);
        r = runcli({"describe", file.string(), "new"}, dir.path());
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("unchanged"), std::string::npos) << r.err;
        EXPECT_EQ(readbytes(file), before);
    }
    // Only a file that reads whole as a TI-92 file: not a picture, one cut short, another model's.
    writebytes(dir / "cut.92p", Bytes(original.begin(), original.end() - 1));
    writebytes(dir / "photo.92p", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'});
    std::filesystem::copy_file(TESSALY_TESTDATA_DIR "/crafted/signed83.83p", dir / "m83.92p");
    for (const char* name : {"cut.92p", "photo.92p", "m83.92p"}) {
        const Bytes was = readbytes(dir / name);
        r = runcli({"describe", (dir / name).string(), "x"}, dir.path());
        EXPECT_EQ(r.code, 2) << name;
        EXPECT_EQ(readbytes(dir / name), was);
    }
    EXPECT_NE(r.err.find("not a TI-92 file: it is signed **TI83F*"), std::string::npos) << r.err;
    EXPECT_EQ(runcli({"describe", (dir / "note.txt").string(), "x"}, dir.path()).code, 2);
    EXPECT_EQ(runcli({"describe"}, dir.path()).code, 2);
}

} // namespace
} // namespace tessaly::clitest
