#include "files/titext.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "files/filetestutil.h"
#include "files/packagewriter.h"
#include "files/textconvert.h"
#include "files/tifile.h"
#include "support/scriptedshell.h"

namespace tessaly::test {
namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

TEST(TextLines, FromStoredBytes) {
    auto stored = [](const std::string& content) {
        Bytes s{static_cast<std::uint8_t>(content.size() >> 8), static_cast<std::uint8_t>(content.size())};
        s.insert(s.end(), content.begin(), content.end());
        return s;
    };
    EXPECT_EQ(textlines(stored(textcontent("AB\r\nC"))), (std::vector<std::string>{" AB", " C"}));
    EXPECT_EQ(textlines(stored(textcontent(""))), (std::vector<std::string>{" "}));
    for (std::size_t s = 0; s < 6; ++s) EXPECT_EQ(textlines(Bytes(s, 0x41)), (std::vector<std::string>{""})) << s;
}

TEST(TextVariableName, UpToTheFirstDotAndEightCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"my.long.name.txt", "my"}, {"readme2000.txt", "readme20"}, {"Notes.TXT", "Notes"}, {"ééééééééé.txt", "éééééééé"}};
    for (const auto& [file, name] : cases) EXPECT_EQ(textvariablename(file), name) << file;
}

TEST(TextToTiBytes, DecodesAndEndsLines) {
    const std::pair<std::string, std::string> cases[] = {
        {"é α\n", bytes({0xE9, ' ', 0x80, 0x0D})},    // UTF-8
        {"a\r\nb\nc\rd", "a\rb\rc\rd"},               // every line end alike
        {"\xE9t\xE9", bytes({0xE9, 't', 0xE9})},      // not UTF-8: Latin-1
        {"\x80\xB5", bytes({0x80, 0xB5})},            // bytes files of earlier versions hold
        {"x\u0304 \u2208\t!", bytes({0x9A, ' ', 0x1F, '!'})},
        {"\xEF\xBB\xBFé", bytes({0xE9})},                        // UTF-8 with its mark
        {std::string("\xFF\xFE\xE9\0\n\0", 6), bytes({0xE9, 0x0D})},  // UTF-16, as Windows saves "Unicode"
        {std::string("\xFE\xFF\x03\xB1", 4), bytes({0x80})},
    };
    for (const auto& [text, ti] : cases) {
        std::string error;
        const auto got = texttotibytes(text, &error);
        ASSERT_TRUE(got) << error;
        EXPECT_EQ(*got, ti) << text;
    }
    const std::pair<std::string, std::string> refused[] = {
        {"ok\n€uro", "The character € (U+20AC) has no TI-92 equivalent (line 2)."},
        {"a → b", "The character → cannot stand in a TI-92 text (line 1)."},
    };
    for (const auto& [text, message] : refused) {
        std::string error;
        EXPECT_FALSE(texttotibytes(text, &error));
        EXPECT_EQ(error, message);
    }
}

class TextFiles : public ::testing::Test {
protected:
    TempDir dir;
    PackageStore store{dir / "store"};
    ScriptedShell shell;
    TransferState state;
    std::string comment;

    void write(const std::string& name, const std::string& text) {
        writebytes(dir / name, Bytes(text.begin(), text.end()));
    }
};

// The text rule as Txt-convert applies it to a file: every line break (CRLF, LF, CR) is
// 0x0D and a blank opens each line; other bytes below 31 go, 1F and 7F stay.
TEST_F(TextFiles, TxtConvertWritesTheTextRule) {
    const std::pair<std::string, std::string> cases[] = {
        {"AB\r\nC", bytes({0, 1, 0x20, 'A', 'B', 0x0D, 0x20, 'C', 0, 0xE0})},
        {"", bytes({0, 1, 0x20, 0, 0xE0})},
        {"a\tb\nc", bytes({0, 1, 0x20, 'a', 'b', 0x0D, 0x20, 'c', 0, 0xE0})},
        {"\x1F\x1E\x01x\x7F", bytes({0, 1, 0x20, 0x1F, 'x', 0x7F, 0, 0xE0})},
        {"\r\r", bytes({0, 1, 0x20, 0x0D, 0x20, 0x0D, 0x20, 0, 0xE0})},
    };
    for (const auto& [source, content] : cases) {
        write("t.txt", source);
        shell.inputanswers = {""};
        shell.saveanswers = {(dir / "t.92t").string()};
        ASSERT_EQ(txtconvertcommand(dir.path(), {"t.txt"}, store, comment, shell, shell, state, kTI92), 1) << source;
        const Bytes file = readbytes(dir / "t.92t");
        EXPECT_EQ(std::string(file.begin() + 82 + 6, file.end() - 2), content) << source;
    }
}

TEST_F(TextFiles, UnicodeRoundTripThroughAFile) {
    std::string error;
    ASSERT_TRUE(stagetext(store, "gruss", *texttotibytes("Grüße é α\r\nzwei", &error), shell, &error)) << error;
    ASSERT_TRUE(savepackage(dir / "gruss.92t", false, store, comment, shell, state, &error, kTI92)) << error;
    const Bytes file = readbytes(dir / "gruss.92t");
    EXPECT_EQ(file[72], kTextType);
    EXPECT_EQ(wordat(file, 86), 0x1400);  // big-endian L = 4 + 16
    const auto view = extracttexts(dir / "gruss.92t", nullptr, &error);
    ASSERT_TRUE(view) << error;
    EXPECT_EQ(view->label, "gruss (22)");
    EXPECT_EQ(linestoutf8(view->lines), " Grüße é α\n zwei\n");
}

TEST_F(TextFiles, TxtConvertStagesAsksAndSaves) {
    write("a.txt", "AB\r\nC");
    write("b.92p", "not a text");
    write("bad.txt", "price: 5 €");
    shell.inputanswers = {"first"};
    shell.saveanswers = {(dir / "out.92t").string()};
    state.busy = true;  // the window's session; the conversion leaves it held
    const int saved = txtconvertcommand(dir.path(), {"a.txt", "b.92p", "bad.txt"}, store, comment, shell, shell, state, kTI92);
    EXPECT_EQ(saved, 1);
    EXPECT_TRUE(state.busy);
    EXPECT_EQ(shell.questions, (std::vector<std::string>{"comment a.txt", "destination a.92t"}));
    ASSERT_EQ(shell.failures.size(), 1u);
    EXPECT_EQ(shell.failures[0],
              "Cannot convert bad.txt: The character € (U+20AC) has no TI-92 equivalent (line 1).\nNothing was written.");
    EXPECT_EQ(comment, "first");

    const Bytes file = readbytes(dir / "out.92t");
    const Bytes data(file.begin() + 82, file.end());
    EXPECT_EQ(data, (Bytes{0, 0, 0, 0, 0, 10, 0, 1, 0x20, 'A', 'B', 0x0D, 0x20, 'C', 0, 0xE0, 0xFE, 0x01}));
    EXPECT_EQ(readnamefield(file, 64), "a");
    EXPECT_EQ(readnamefield(file, 18, 34), "first");
}

TEST_F(TextFiles, BadInputChangesNothing) {
    std::string error;
    ASSERT_TRUE(stagetext(store, "kept", "kept", shell, &error));
    const Bytes before = readbytes(store.datapath());
    ::mkfifo((dir / "fifo.txt").c_str(), 0600);
    std::filesystem::create_directory(dir / "folder.txt");
    write("huge.txt", "");
    std::filesystem::resize_file(dir / "huge.txt", kMaxTextFile + 1);  // refused unread
    write(".hidden.txt", "no name");
    for (const char* name : {"missing.txt", "fifo.txt", "folder.txt", "huge.txt", ".hidden.txt"}) {
        shell.failures.clear();
        EXPECT_EQ(txtconvertcommand(dir.path(), {name}, store, comment, shell, shell, state, kTI92), 0);
        ASSERT_EQ(shell.failures.size(), 1u) << name;
        EXPECT_TRUE(shell.failures[0].starts_with(std::string("Cannot convert ") + name + ": ")) << shell.failures[0];
    }
    EXPECT_FALSE(stagetext(store, "long", std::string(70000, 'x'), shell, &error));
    EXPECT_EQ(error, "The text is too long for a TI-92 text variable: 70005 bytes, at most 65535.");
    EXPECT_EQ(readbytes(store.datapath()), before);
    EXPECT_TRUE(shell.questions.empty());

    // A file whose table promises more than it holds.
    ASSERT_TRUE(savepackage(dir / "cut.92t", false, store, comment, shell, state, &error, kTI92));
    Bytes cut = readbytes(dir / "cut.92t");
    cut.resize(cut.size() - 4);
    writebytes(dir / "cut.92t", cut);
    EXPECT_FALSE(extracttexts(dir / "cut.92t", nullptr, &error));
    // Named once, whoever words the reason.
    const auto first = error.find("cut.92t");
    ASSERT_NE(first, std::string::npos) << error;
    EXPECT_EQ(error.find("cut.92t", first + 1), std::string::npos) << error;
}

TEST_F(TextFiles, PackageTextByRow) {
    stage(store, {{"main\\prog", 0x12, storedofsize(8)}, {"main\\note", kTextType, stored({0, 1, 0x20, 'h', 'i', 0, 0xE0})}});
    std::string error;
    EXPECT_EQ(packagetext(store, 0, &error)->label, "");
    const auto view = packagetext(store, 1, &error);
    ASSERT_TRUE(view) << error;
    EXPECT_EQ(view->label, "main\\note (9)");
    EXPECT_EQ(view->lines, (std::vector<std::string>{" hi"}));
}

} // namespace
} // namespace tessaly::test
