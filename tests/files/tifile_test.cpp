#include "files/tifile.h"

#include <gtest/gtest.h>

#include "files/filetestutil.h"

namespace tessaly::test {
namespace {

// main\a (program), main\b (text) and a lone string s before any folder.
Bytes goldengroup() {
    Bytes a = stored({0xAA, 0xBB, 0xCC}), b = stored({1, 2, 3, 4, 5, 6, 7}), s = stored({'h', 'i'});
    const std::uint32_t os = 66 + 16 * 4, oa = os + std::uint32_t(s.size()) + 6, ob = oa + std::uint32_t(a.size()) + 6,
                        end = ob + std::uint32_t(b.size()) + 6;
    return GoldenFile("group demo", 4)
        .entry(os, "s", 0x0C)
        .entry(oa, "main", 0x1F, 2)
        .entry(oa, "a", 0x12)
        .entry(ob, "b", 0x0B)
        .sizefield(end)
        .section(s)
        .section(a)
        .section(b)
        .bytes;
}

TEST(TiFileGolden, GroupFileEntriesAndData) {
    Bytes f = goldengroup();
    std::string error;
    auto parsed = parsetifile(f, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_TRUE(parsed->formatok);
    EXPECT_EQ(parsed->comment, "group demo");
    EXPECT_EQ(parsed->count, 4);
    EXPECT_FALSE(parsed->backuplayout);
    auto vars = parsed->variables();
    ASSERT_EQ(vars.size(), 3u);
    EXPECT_EQ(vars[0]->fullname(), "s");
    EXPECT_EQ(vars[1]->fullname(), "main\\a");
    EXPECT_EQ(vars[2]->fullname(), "main\\b");
    const Bytes expected[] = {stored({'h', 'i'}), stored({0xAA, 0xBB, 0xCC}), stored({1, 2, 3, 4, 5, 6, 7})};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(vars[i]->size, expected[i].size());
        EXPECT_EQ(Bytes(f.begin() + vars[i]->dataposition, f.begin() + vars[i]->dataposition + vars[i]->size), expected[i]);
    }
}

TEST(TiFileGolden, NamesStopAtTheFirstZeroOrAfterEight) {
    Bytes s = stored({1});
    GoldenFile g("", 2);
    g.dword(98).text("ab").put(0).text("junk!").put(0x0C).put(0).put(0).put(0);
    g.entry(98 + 9, "abcdefgh", 0x0C).sizefield(98 + 18).section(s).section(s);
    auto parsed = parsetifile(g.bytes, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries[0].name, "ab");
    EXPECT_EQ(parsed->entries[1].name, "abcdefgh");
}

TEST(TiFileGolden, FormatByteIsOnlyReported) {
    Bytes f = goldengroup();
    f[8] = 0x02;
    auto parsed = parsetifile(f, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->formatok);
}

TEST(TiFileGolden, BackupOfNoBytes) {
    Bytes f = GoldenFile("b", 1).entry(82, "1.11", 0x1D).sizefield(84).section({}, true).bytes;
    ASSERT_EQ(f.size(), 84u);
    auto parsed = parsetifile(f, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->backuplayout);
    EXPECT_EQ(parsed->entries[0].size, 0u);
}

TEST(TiFileGolden, TrailingBytesAfterTheLastSectionAreIgnored) {
    Bytes f = goldengroup();
    f.push_back(0x42);
    auto parsed = parsetifile(f, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->length, f.size());
}

TEST(TiFileBad, EveryTruncationIsRejected) {
    const Bytes f = goldengroup();
    for (std::size_t len = 0; len < f.size(); ++len) {
        std::string error;
        auto parsed = parsetifile(std::span(f).first(len), &error);
        EXPECT_FALSE(parsed) << "length " << len;
        EXPECT_FALSE(error.empty());
    }
}

TEST(TiFileBad, HeaderShorterThanTheFileClaims) {
    const Bytes f = goldengroup();
    for (std::size_t len : {0, 10, 59, 60, 100, 129}) {
        std::string error;
        EXPECT_FALSE(parsetiheader(std::span(f).first(len), f.size(), &error)) << len;
        EXPECT_NE(error.find("not read whole"), std::string::npos) << error;
    }
    EXPECT_TRUE(parsetiheader(std::span(f).first(130), f.size(), nullptr));
}

TEST(TiFileBad, BrokenTables) {
    struct Case {
        const char* what;
        void (*spoil)(Bytes&);
        const char* message;
    };
    const Case cases[] = {
        {"size field past the end", [](Bytes& f) { f[124] += 1; }, "past the end"},
        {"offset past the end", [](Bytes& f) { f[108 + 2] = 0x01; }, "past the end"},
        {"offsets backwards", [](Bytes& f) { f[108] = static_cast<std::uint8_t>(f[92] - 1); }, "backwards"},
        {"offset inside the table", [](Bytes& f) { f[60] = 20; }, "header or table"},
        {"count 255, short table", [](Bytes& f) { f[58] = 255; }, "shorter than its table"},
        {"count beyond the table", [](Bytes& f) { f[58] = 5; }, ""},
        {"a section too short for its length word", [](Bytes& f) { f[108] = f[92]; }, "too short"},
        {"a 4 GB offset", [](Bytes& f) { f[60 + 3] = 0xFF; }, "past the end"},
        {"a spoilt type", [](Bytes& f) { f[72 + 16 * 2] = 0xFF; }, "entry 3 (a) has the type code FF, which no TI-92 variable has"},
    };
    for (const auto& c : cases) {
        Bytes f = goldengroup();
        c.spoil(f);
        std::string error;
        EXPECT_FALSE(parsetifile(f, &error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

TEST(TiFileBad, ReaderRejectsFilesOnDiskAndReadsNothingPastTheEnd) {
    TempDir dir;
    Bytes f = goldengroup();
    writebytes(dir / "short.92g", Bytes(f.begin(), f.end() - 3));
    std::string error;
    EXPECT_FALSE(readtifile(dir / "short.92g", &error));
    EXPECT_NE(error.find("short.92g is not a readable TI-92 file"), std::string::npos) << error;
    EXPECT_FALSE(readtifile(dir / "missing.92g", &error));
    EXPECT_NE(error.find("Cannot open missing.92g"), std::string::npos) << error;
    EXPECT_FALSE(readtifile(dir.path(), &error));

    writebytes(dir / "ok.92g", f);
    TiFileReader reader;
    ASSERT_TRUE(reader.open(dir / "ok.92g", &error)) << error;
    Bytes buf(4);
    EXPECT_FALSE(reader.read(f.size() - 2, buf));
    EXPECT_TRUE(reader.read(f.size() - 4, buf));
}

TEST(TiFilePrimitives, BoundsChecked) {
    const Bytes b{0x12, 0x34, 0x56};
    EXPECT_EQ(readwordle(b, 0), 0x3412);
    EXPECT_EQ(readwordbe(b, 1), 0x3456);
    EXPECT_FALSE(readwordle(b, 2));
    EXPECT_FALSE(readwordbe(b, 3));
    EXPECT_FALSE(readdwordle(b, 0));
    EXPECT_FALSE(readwordle(b, SIZE_MAX));
    EXPECT_EQ(readnamefield(b, 1, 8), "\x34\x56");
    EXPECT_EQ(readnamefield(b, 10, 8), "");
}

TEST(TiHeader, LaysOutFoldersAndBackupSections) {
    std::vector<TiTableItem> items = {{.folder = true, .name = "longfoldername", .count = 1},
                                      {.folder = false, .name = "v", .type = 0x12, .attribute = 1, .size = 10}};
    auto h = tiheader("c", items, false, nullptr);
    ASSERT_TRUE(h);
    Bytes b(h->begin(), h->end());
    ASSERT_EQ(b.size(), 98u);
    EXPECT_EQ(std::string(b.begin() + 64, b.begin() + 72), "longfold");
    EXPECT_EQ(dwordat(b, 60), 98u);
    EXPECT_EQ(dwordat(b, 76), 98u);
    EXPECT_EQ(b[89], 1);
    EXPECT_EQ(dwordat(b, 92), 98u + 16);
    auto backup = tiheader("c", std::span(items).subspan(1), true, nullptr);
    EXPECT_EQ(dwordat(Bytes(backup->begin(), backup->end()), 76), 82u + 12);
}

} // namespace
} // namespace tessaly::test

namespace tessaly::test {

TEST(TiFileLayout, AFolderEntrysOffsetIsNotHeldAgainstTheFile) {
    // Another writer left 0 in the folder entry's offset, which no reading rule uses.
    const Bytes f = GoldenFile("other writer", 2)
                        .entry(0, "work", kFolderType, 1)
                        .entry(98, "x", 0x00)
                        .sizefield(107)
                        .section(stored({0x2A}))
                        .bytes;
    std::string error;
    const auto file = parsetifile(f, &error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->variables().size(), 1u);
    EXPECT_EQ(file->variables()[0]->fullname(), "work\\x");
    EXPECT_EQ(file->variables()[0]->size, 3u);
}

} // namespace tessaly::test
