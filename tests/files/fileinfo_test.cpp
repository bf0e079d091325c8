#include "files/fileinfo.h"

#include <gtest/gtest.h>

#include "files/filetestutil.h"

namespace tessaly::test {
namespace {

// A single-variable FARGO file: content from offset 88, kind byte at 89, V at 94 and D at
// 100 (big-endian), library table at 89 + V, description at 88 + D.
Bytes fargofile(std::uint8_t kind, std::vector<std::string> libs, std::uint8_t lastterminator = 0x81) {
    Bytes content(60, 0);
    content[1] = kind;
    const std::size_t table = 20, description = 45;
    content[6] = 0;
    content[7] = static_cast<std::uint8_t>(88 + table - 89);
    content[12] = 0;
    content[13] = static_cast<std::uint8_t>(description);
    Bytes t{static_cast<std::uint8_t>(libs.size())};
    for (std::size_t i = 0; i < libs.size(); ++i) {
        t.insert(t.end(), libs[i].begin(), libs[i].end());
        t.push_back(i + 1 == libs.size() ? lastterminator : 0x00);
    }
    std::copy(t.begin(), t.end(), content.begin() + table);
    const std::string d = "Tetris clone";
    std::copy(d.begin(), d.end(), content.begin() + description);
    content[description + d.size()] = 0x81;
    Bytes s = stored(content);
    return GoldenFile("demo", 1).entry(82, "game", 0x12).sizefield(82 + std::uint32_t(s.size()) + 6).section(s).bytes;
}

TEST(Fargo, ProgramMetadata) {
    Bytes f = fargofile(0x50, {"flib", "graphlib"});
    EXPECT_EQ(fargokind(f), FargoKind::Program);
    EXPECT_EQ(fargolibraries(f), (std::vector<std::string>{"flib", "graphlib"}));
    EXPECT_EQ(fargodescription(f), "Tetris clone");
    EXPECT_EQ(fargokind(fargofile(0x4C, {})), FargoKind::Library);
    EXPECT_EQ(fargokind(fargofile(0x12, {})), FargoKind::None);
}

TEST(Fargo, TruncatedFilesGiveWhatIsThereAndNeverReadPast) {
    const Bytes f = fargofile(0x50, {"flib", "graphlib"});
    for (std::size_t len = 0; len <= f.size(); ++len) {
        // Exactly len bytes on the heap, so a read past them is caught by the sanitizers.
        std::vector<std::uint8_t> cut(f.begin(), f.begin() + len);
        auto m = fargometa(cut);
        if (len <= 89) {
            EXPECT_EQ(m.kind, FargoKind::None);
        }
        if (len <= 108) {
            EXPECT_TRUE(m.libraries.empty()) << len;
        }
        EXPECT_LE(m.libraries.size(), 2u);
    }
}

TEST(Fargo, PositionsBeyondTheFile) {
    Bytes f = fargofile(0x50, {"a"});
    f[94] = 0xFF;
    f[100] = 0xFF;
    EXPECT_TRUE(fargolibraries(f).empty());
    EXPECT_EQ(fargodescription(f), "");
}

TEST(FileInfo, SingleProgram) {
    Bytes s = stored({1, 2, 3});
    Bytes f = GoldenFile("demo", 1).entry(82, "prog", 0x12).sizefield(93).section(s).bytes;
    auto info = tifileinfo(f, f.size());
    EXPECT_EQ(info.entries, "1  (program)");
    EXPECT_EQ(info.length, "93");
    EXPECT_EQ(info.description, "demo");
    EXPECT_TRUE(info.sendable);
    EXPECT_FALSE(info.fargoprogram);
    ASSERT_EQ(info.rows.size(), 1u);
    EXPECT_EQ(info.rows[0].caption, "prog");
    EXPECT_EQ(info.rows[0].type, "program");
}

TEST(FileInfo, GroupCountsFolderEntriesAndListsVariables) {
    Bytes s = stored({1});
    Bytes f = GoldenFile("g", 3)
                  .entry(114, "main", 0x1F, 2)
                  .entry(114, "a", 0x00)
                  .entry(123, "b", 0x1E)
                  .sizefield(132)
                  .section(s)
                  .section(s)
                  .bytes;
    auto info = tifileinfo(f, f.size());
    EXPECT_EQ(info.entries, "3");
    ASSERT_EQ(info.rows.size(), 2u);
    EXPECT_EQ(info.rows[0].caption, "main\\a");
    EXPECT_EQ(info.rows[0].type, "expression");
    EXPECT_EQ(info.rows[1].caption, "main\\b");
    EXPECT_EQ(info.rows[1].type, "");  // a code without a name
}

TEST(FileInfo, CaptionCutToSixteen) {
    Bytes s = stored({1});
    Bytes f = GoldenFile("g", 2).entry(98, "abcdefgh", 0x1F, 1).entry(98, "ijklmnop", 0x1E).sizefield(107).section(s).bytes;
    auto info = tifileinfo(f, f.size());
    ASSERT_EQ(info.rows.size(), 1u);
    EXPECT_EQ(info.rows[0].caption, "abcdefgh\\ijklmno");
    EXPECT_EQ(info.rows[0].type, "");  // a code without a name
}

TEST(FileInfo, FargoProgramNamesItsLibraries) {
    struct Case { std::uint8_t kind; std::vector<std::string> libs; std::string description; bool install; };
    const Case cases[] = {
        {0x50, {"flib", "graphlib"}, "demo      (Req. lib: flib, graphlib)", true},
        {0x50, {}, "demo      (Req. lib: )", true},
        {0x4C, {"flib"}, "demo", false},
    };
    for (const auto& c : cases) {
        Bytes f = fargofile(c.kind, c.libs);
        auto info = tifileinfo(f, f.size());
        EXPECT_EQ(info.description, c.description);
        EXPECT_EQ(info.fargoprogram, c.install);
    }
}

TEST(FileInfo, CorruptedFiles) {
    Bytes s = stored({1});
    Bytes good = GoldenFile("demo", 1).entry(82, "x", 0).sizefield(91).section(s).bytes;
    Bytes badformat = good;
    badformat[8] = 0x00;
    Bytes badtable = good;
    badtable[58] = 255;
    for (const Bytes& f : {badformat, badtable, Bytes(good.begin(), good.begin() + 5)}) {
        auto info = tifileinfo(f, f.size());
        EXPECT_EQ(info.entries, "-");
        EXPECT_EQ(info.length, "-");
        EXPECT_EQ(info.description, "Corrupted TI-file");
        EXPECT_FALSE(info.sendable);
        EXPECT_TRUE(info.rows.empty());
        EXPECT_FALSE(info.error.empty());
    }
}

TEST(FileInfo, TextAndUueFilesByExtension) {
    TempDir dir;
    std::string text(100, 'x');
    text[3] = '\n';
    writebytes(dir / "notes.Txt", Bytes(text.begin(), text.end()));
    writebytes(dir / "short.txt", Bytes{'h', 'i'});
    writebytes(dir / "thing.uue", Bytes{'b', 'e', 'g', 'i', 'n'});
    auto t = readfileinfo(dir / "notes.Txt");
    EXPECT_EQ(t.entries, "-");
    EXPECT_EQ(t.length, "100");
    EXPECT_EQ(t.description, text.substr(0, 40) + "...");
    EXPECT_EQ(t.descriptionhint, text.substr(0, 40) + "...\nClick to edit!");
    EXPECT_TRUE(t.textfile);
    EXPECT_FALSE(t.sendable);
    EXPECT_EQ(readfileinfo(dir / "short.txt").description, "hi");
    auto u = readfileinfo(dir / "thing.uue");
    EXPECT_EQ(u.description, "UUE-Encoded");
    EXPECT_EQ(u.length, "-");
    EXPECT_FALSE(readfileinfo(dir / "gone.92p").error.empty());
}

} // namespace
} // namespace tessaly::test
