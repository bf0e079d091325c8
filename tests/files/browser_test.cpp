#include "files/browser.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "files/filetestutil.h"
#include "files/ticharset.h"
#include "support/flashsamples.h"

namespace tessaly::test {
namespace {

// A single-variable TI-92 file; content starts at file offset 88.
Bytes onevariable(std::string_view comment, Bytes content, std::uint8_t type = 0x12) {
    const Bytes s = stored(content);
    return GoldenFile(comment, 1).entry(82, "v", type).sizefield(82 + std::uint32_t(s.size()) + 6).section(s).bytes;
}

// FARGO program: kind 'P' at 89, D at 100 (big-endian), its description at 88 + D.
Bytes fargoprogram(std::string_view text) {
    Bytes c(40, 0);
    c[1] = 0x50;
    c[13] = 20;
    std::copy(text.begin(), text.end(), c.begin() + 20);
    c[20 + text.size()] = 0x81;
    return onevariable("ignored comment", c);
}

Bytes textbytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

TEST(Browser, MaskFromTheTwoBoxes) {
    EXPECT_EQ(browsermask(true, false), "*.txt;");
    EXPECT_EQ(browsermask(false, true), "*.92*;*.9x*;*.v2*;*.89*;");
    EXPECT_EQ(browsermask(true, true), "*.txt;*.92*;*.9x*;*.v2*;*.89*;");
    EXPECT_EQ(browsermask(false, false), "");
}

TEST(Browser, MasksMatchWithoutRegardToCase) {
    const struct {
        std::string_view mask, name;
        bool matches;
    } cases[] = {
        {"*.92*;", "game.92p", true},   {"*.92*;", "GAME.92P", true},  {"*.92*;", "x.92", true},
        {"*.92*;", "a.txt", false},     {"*.txt;", "Notes.TXT", true}, {"*.txt;", "a.txt.bak", false},
        {"*.txt;*.92*;", "b.92g", true}, {"", "b.92g", false},         {"?.92g", "ab.92g", false},
        {"*.92*;", "92p", false},
    };
    for (const auto& c : cases) EXPECT_EQ(maskmatches(c.mask, c.name), c.matches) << c.mask << " " << c.name;
}

struct Folder {
    TempDir dir;
    Folder() {
        Bytes text100(100, 'x');
        text100[5] = '\r';
        text100[6] = '\n';
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"a.92p", onevariable("demo", {1, 2})},
            {"b.92g", GoldenFile("my group", 0).sizefield(66).bytes},
            {"c.txt", text100},
            {"d.92@", onevariable("refused", {1})},
            {"E.92T", onevariable("Upper", {1}, 0x0C)},
            {"lib.92p", onevariable("my comment", {0, 0x4C, 0, 0})},
            {"prog.92p", fargoprogram("Tetris clone")},
            {"short.92p", Bytes(30, 0)},
            {"small.txt", textbytes("ab\tcd\x01""ef\r\n\ngh")},
            {"wrong.92p", [] { Bytes b = onevariable("x", {1}); b[8] = 0x02; return b; }()},
            {"x-cut.92p", [] { Bytes b = onevariable("cut", {1, 2, 3}); b.resize(b.size() - 3); return b; }()},
            {".hidden.92p", onevariable("hidden", {1})},
            {"skip.bin", Bytes(10, 0)},
        };
        for (const auto& [name, bytes] : files) writebytes(dir / name, bytes);
        std::filesystem::create_directory(dir / "sub.92g");
        ::mkfifo((dir / "pipe.92p").c_str(), 0600);
    }
};

TEST(Browser, ListsPlainMatchingFilesSortedWithoutRegardToCase) {
    Folder f;
    std::string why;
    EXPECT_EQ(listfolder(f.dir.path(), "*.txt;*.92*;", &why),
              (std::vector<std::string>{"a.92p", "b.92g", "c.txt", "d.92@", "E.92T", "lib.92p", "prog.92p", "short.92p",
                                        "small.txt", "wrong.92p", "x-cut.92p"}));
    EXPECT_EQ(listfolder(f.dir.path(), "*.txt;", &why), (std::vector<std::string>{"c.txt", "small.txt"}));
    EXPECT_TRUE(listfolder(f.dir.path(), "", &why).empty());
    EXPECT_TRUE(why.empty()) << why;
    EXPECT_TRUE(listfolder(f.dir / "gone", "*.92*;", &why).empty());
    EXPECT_NE(why.find("gone"), std::string::npos) << why;
}

TEST(Browser, RowsCarryDescriptionsAndIcons) {
    Folder f;
    std::string why;
    const auto rows = browserrows(f.dir.path(), listfolder(f.dir.path(), "*.txt;*.92*;", &why), true);
    const struct {
        std::string name, description;
        BrowserIcon icon;
        bool damaged;
    } expected[] = {
        {"a.92p", "demo", BrowserIcon::Program, false},
        {"b.92g", "my group", BrowserIcon::Group, false},
        {"c.txt", "xxxxx " + std::string(33, 'x') + "...", BrowserIcon::Text, false},
        {"E.92T", "Upper", BrowserIcon::TextVariable, false},
        {"lib.92p", "(FARGO Library)", BrowserIcon::FargoLibrary, false},
        {"prog.92p", "Tetris clone - (FARGO)", BrowserIcon::FargoProgram, false},
        {"short.92p", "Corrupted TI-file: only 30 bytes", BrowserIcon::Plain, true},
        {"small.txt", "abcdef gh", BrowserIcon::Text, false},
        {"wrong.92p", "Corrupted TI-file: not a TI-92 file", BrowserIcon::Plain, true},
        {"x-cut.92p", "Corrupted TI-file: the file-size field (93) lies past the end of the file (90 bytes)",
         BrowserIcon::Plain, true},
    };
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i].name);
        EXPECT_EQ(rows[i].description, expected[i].description) << rows[i].name;
        EXPECT_EQ(rows[i].icon, expected[i].icon) << rows[i].name;
        EXPECT_EQ(rows[i].damaged, expected[i].damaged) << rows[i].name;
    }
    for (const auto& row : browserrows(f.dir.path(), {"a.92p", "c.txt", "d.92@"}, false)) {
        EXPECT_EQ(row.description, "Not showing!");
        EXPECT_EQ(row.icon, BrowserIcon::Plain);
    }
    EXPECT_EQ(browserrows(f.dir.path(), {"d.92@"}, false).size(), 0u);
    const auto gone = browserrow(f.dir.path(), "gone.92p", true);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->damaged);
    EXPECT_NE(gone->description.find("Cannot open"), std::string::npos);
}

// The model is the payload's, narrowed by the extension only where the two agree.
TEST(Browser, FlashRowsDescribeThePartTheySend) {
    TempDir dir;
    FlashFile os = samples::system(kTI89Titanium, 3, 10, 100);
    os.parts[1].data.resize(2202010);
    const std::pair<std::string, FlashFile> files[] = {
        {"a.89k", samples::application(kTI89, "demoapp", 12 * 1024)},
        {"b.v2k", samples::application(kV200, "tools", 10)},
        {"c.9xk", samples::application(kV200, "tools", 10)},
        {"d.89k", samples::application(kV200, "odd", 10)},
        {"e.89u", os},
    };
    for (const auto& [name, file] : files) ASSERT_TRUE(writeflashfile(dir / name, file, nullptr));
    Bytes cut = flashbytes(files[0].second);
    cut.resize(cut.size() - 1);
    writebytes(dir / "f.89k", cut);
    const auto rows = browserrows(dir.path(), listfolder(dir.path(), kTiPattern, nullptr), true);
    const std::string expected[] = {
        "TI-89 application demoapp, version 1.00, 12 KB",
        "Voyage 200 application tools, version 1.00, 96 bytes",
        "TI-92 Plus application tools, version 1.00, 96 bytes",
        "TI-92 Plus application odd, version 1.00, 94 bytes",
        "TI-89 Titanium operating system basecode, version 3.10, 2.1 MB",
        "f.89k is damaged: part 2 (application): it is longer than the file (12378 bytes of data, 12377 left).",
    };
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].description, expected[i]);
        EXPECT_EQ(rows[i].icon, i + 1 < rows.size() ? BrowserIcon::Flash : BrowserIcon::Plain) << rows[i].name;
    }
    EXPECT_EQ(nameicon("x.9xq"), BrowserIcon::Flash);
}

TEST(Browser, CompanionsAreFoundWithoutRegardToCase) {
    TempDir d;
    writebytes(d / "PROG.BMP", {1});
    writebytes(d / "prog.txt", {1});
    writebytes(d / "game.92p", {1});
    const Companions c = findcompanions(d.path(), "prog.v2.92p");
    ASSERT_TRUE(c.screenshot && c.text);
    EXPECT_EQ(c.screenshot->filename(), "PROG.BMP");
    EXPECT_EQ(c.text->filename(), "prog.txt");
    const Companions none = findcompanions(d.path(), "game.92p");
    EXPECT_FALSE(none.screenshot || none.text);
}

TEST(Browser, VariableSelectionRules) {
    const struct {
        std::vector<std::string> types;
        bool sel, all, view;
    } cases[] = {
        {{}, false, true, false},
        {{"text"}, true, false, true},
        {{"text", "text"}, true, false, false},
        {{"program"}, true, false, false},
    };
    for (const auto& c : cases) {
        const VariableSelection s = variableselection(c.types);
        EXPECT_EQ(s.selenabled, c.sel);
        EXPECT_EQ(s.forceall, c.all);
        EXPECT_EQ(s.viewtext, c.view) << c.types.size();
    }
}

TEST(DescriptionEditor, WritesTheCommentFieldAndKeepsEveryOtherByte) {
    TempDir d;
    Bytes original = onevariable("old comment", {1, 2, 3});
    original[10] = 'f';  // a default folder name another program wrote
    original[54] = 0x55;  // and the rest of the comment field
    const struct {
        std::string text;
        std::string stored;
    } cases[] = {
        {std::string(40, 'q'), std::string(34, 'q')},
        {"z", "z"},
        {"", ""},
    };
    for (const auto& c : cases) {
        writebytes(d / "f.92p", original);
        std::string why;
        ASSERT_EQ(writedescription(d / "f.92p", c.text, &why), DescriptionWrite::Written) << why;
        Bytes expected = original;
        std::fill(expected.begin() + 18, expected.begin() + 52, 0);
        std::copy(c.stored.begin(), c.stored.end(), expected.begin() + 18);
        EXPECT_EQ(readbytes(d / "f.92p"), expected) << c.text;
    }
}

TEST(DescriptionEditor, AFailedWriteLeavesTheFileAsItWas) {
    TempDir d;
    const Bytes original = onevariable("keep", {1});
    writebytes(d / "ro.92p", original);
    ::chmod((d / "ro.92p").c_str(), 0444);
    std::string why;
    if (::geteuid() != 0) {
        EXPECT_EQ(writedescription(d / "ro.92p", "new", &why), DescriptionWrite::Failed);
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(readbytes(d / "ro.92p"), original);
    }
    EXPECT_EQ(writedescription(d / "gone.92p", "new", &why), DescriptionWrite::Failed);
    EXPECT_FALSE(std::filesystem::exists(d / "gone.92p"));
    ::mkfifo((d / "pipe.92p").c_str(), 0600);
    EXPECT_EQ(writedescription(d / "pipe.92p", "new", &why), DescriptionWrite::Failed);
    EXPECT_NE(why.find("FIFO"), std::string::npos) << why;
}

TEST(TiCharset, TextAndBytesBothWays) {
    const struct {
        std::string utf8, bytes;
    } cases[] = {
        {"plain", "plain"},
        {"αβ π", "\x80\x81 \x8C"},
        {"é ÿ", "\xE9 \xFF"},
        {"x\u0305", "\x9A"},
        {"≤≠", "\x9C\x9D"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tibytes_to_utf8(c.bytes), c.utf8);
        std::string why;
        EXPECT_EQ(utf8_to_tibytes(c.utf8, 34, &why), c.bytes) << why;
    }
    std::string why;
    EXPECT_EQ(utf8_to_tibytes(std::string(20, 'a') + std::string(20, 'a'), 34, &why)->size(), 34u);
    bool cut = false;
    EXPECT_EQ(utf8_to_tibytes("ééééé", 3, &why, &cut), std::string("\xE9\xE9\xE9"));  // characters, not bytes
    EXPECT_TRUE(cut);
    EXPECT_EQ(utf8_to_tibytes("ééx\u0305", 3, &why, &cut), std::string("\xE9\xE9\x9A"));
    EXPECT_FALSE(cut);  // the bar belongs to the third character
    EXPECT_FALSE(utf8_to_tibytes("日", 34, &why));
    EXPECT_NE(why.find("U+65E5"), std::string::npos);
    EXPECT_FALSE(utf8_to_tibytes("\xFF", 34, &why));
}

} // namespace
} // namespace tessaly::test
