#include <gtest/gtest.h>

#include "cli/clirun.h"
#include "files/filetestutil.h"
#include "files/packagewriter.h"
#include "support/scriptedshell.h"

namespace tessaly::clitest {
namespace {

using tessaly::test::Bytes;

void writetext(const std::filesystem::path& p, const std::string& text) {
    tessaly::test::writebytes(p, Bytes(text.begin(), text.end()));
}

TEST(CliText, Txt2VarAndBack) {
    TempDir dir;
    writetext(dir / "notes.long.txt", "Grüße, é α\r\nline two\n");
    // 33 characters in 40 bytes: nothing is cut.
    auto r = runcli({"txt2var", (dir / "notes.long.txt").string(), "--comment", "Übungsblätter für Öl, Güte, Größe"},
                    dir.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(std::filesystem::exists(dir / "notes.92t"));  // the variable name + .92t
    const Bytes file = tessaly::test::readbytes(dir / "notes.92t");
    EXPECT_EQ(file[18], 0xDC);  // Ü in the calculator's characters

    r = runcli({"var2txt", (dir / "notes.92t").string()}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Grüße, é α\nline two\n");
    r = runcli({"var2txt", (dir / "notes.92t").string(), "notes"}, dir.path());
    EXPECT_EQ(r.out, "Grüße, é α\nline two\n");
    // What var2txt prints converts back to the same variable.
    writetext(dir / "again.txt", r.out);
    r = runcli({"txt2var", (dir / "again.txt").string(), "-o", (dir / "again.92t").string(), "--comment",
                "Übungsblätter für Öl, Güte, Größe"}, dir.path());
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes again = tessaly::test::readbytes(dir / "again.92t");
    EXPECT_EQ(Bytes(again.begin() + 82, again.end()), Bytes(file.begin() + 82, file.end()));  // the data and its sum
}

TEST(CliText, RefusalsWriteNothing) {
    TempDir dir;
    writetext(dir / "euro.txt", "5 €");
    writetext(dir / "ok.txt", "5 EUR");
    writetext(dir / "long.txt", std::string(70000, 'x'));
    writetext(dir / "picture.txt", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16));
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    } cases[] = {
        {{"txt2var", (dir / "euro.txt").string(), "-o", (dir / "out.92t").string()}, 2,
         "The character € (U+20AC) has no TI-92 equivalent (line 1). Nothing was written."},
        {{"txt2var", (dir / "missing.txt").string(), "-o", (dir / "out.92t").string()}, 2, "missing.txt"},
        {{"txt2var", (dir / "long.txt").string(), "-o", (dir / "out.92t").string()}, 2, "too long"},
        {{"txt2var", (dir / "ok.txt").string(), "-o", (dir / "out.92t").string(), "--comment", "€"}, 2,
         "the comment cannot be written"},
        {{"txt2var", dir.path().string(), "-o", (dir / "out.92t").string()}, 2, "folder"},
        {{"txt2var", (dir / "ok.txt").string(), "-o", (dir / "ok.txt").string()}, 2, "would replace the text file"},
        {{"txt2var", TESSALY_TESTDATA_DIR "/samples/group.92g", "-o", (dir / "out.92t").string()}, 2, "It is a TI-92 file"},
        {{"txt2var", (dir / "picture.txt").string(), "-o", (dir / "out.92t").string()}, 2,
         "It holds a NUL byte (line 3), which no text holds: it is not a text file. Nothing was written."},
        {{"var2txt", (dir / "euro.txt").string()}, 2, "euro.txt"},
        {{"var2txt"}, 2, "usage"},
    };
    for (const auto& c : cases) {
        const auto r = runcli(c.args, dir.path());
        EXPECT_EQ(r.code, c.code) << c.args[0];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.92t"));
    }
    EXPECT_EQ(slurp(dir / "ok.txt"), "5 EUR");
}

TEST(CliText, GroupFileByName) {
    TempDir dir;
    const auto group = samplestate("group.92g", dir.path());
    const std::pair<std::string, std::string> cases[] = {
        {"nosuch", "holds no variable named nosuch"}, {"group\\X", "not a text variable"}, {"", "holds no text variable"}};
    for (const auto& [name, err] : cases) {
        std::vector<std::string> args{"var2txt", group.string()};
        if (!name.empty()) args.push_back(name);
        const auto r = runcli(args, dir.path());
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    }
}

TEST(CliText, BareNameShowsTheTextAmongItsNamesakes) {
    TempDir dir;
    const PackageStore store(dir / "store");
    using tessaly::test::stored;
    tessaly::test::stage(store, {{"work\\notes", 0x0C, stored({0, 1, 'x', 0x2D})},
                                 {"main\\notes", 0x0B, stored({0, 1, 0x20, 'h', 'i', 0, 0xE0})}});
    tessaly::test::ScriptedShell shell;
    TransferState state;
    std::string comment, why;
    ASSERT_TRUE(savepackage(dir / "two.92g", false, store, comment, shell, state, &why, kTI92)) << why;
    const auto r = runcli({"var2txt", (dir / "two.92g").string(), "notes"}, dir.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "hi\n");
}

} // namespace
} // namespace tessaly::clitest
