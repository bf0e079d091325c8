#include "files/packagewriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <numeric>

#include "files/filename.h"
#include "files/tifile.h"
#include "files/filetestutil.h"
#include "support/scriptedshell.h"

namespace tessaly::test {
namespace {

class PackageWriterTest : public ::testing::Test {
protected:
    TempDir dir;
    PackageStore store{dir.path()};
    ScriptedShell shell;
    TransferState state = [] { TransferState s; s.busy = true; return s; }();  // the caller's session holds it; the writer leaves it
    std::string comment = "demo";

    Bytes save(const std::vector<StagedVariable>& vars, bool backup = false) {
        stage(store, vars);
        std::string error;
        EXPECT_TRUE(savepackage(dir / "out.92g", backup, store, comment, shell, state, &error, kTI92)) << error;
        return readbytes(dir / "out.92g");
    }
    // Entry k's fields.
    static std::uint32_t offset(const Bytes& f, int k) { return dwordat(f, 60 + 16 * k); }
    static std::string name(const Bytes& f, int k) {
        std::string s(f.begin() + 64 + 16 * k, f.begin() + 72 + 16 * k);
        return s.substr(0, s.find('\0'));
    }
    static std::uint8_t type(const Bytes& f, int k) { return f[72 + 16 * k]; }
    static std::uint16_t count(const Bytes& f, int k) { return wordat(f, 74 + 16 * k); }
    bool nostray() const {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with(".tessaly-saving")) return false;
        return true;
    }
};

TEST_F(PackageWriterTest, FoldersRunsOffsetsAndFileSize) {
    Bytes f = save({{"main\\a", 0x12, storedofsize(10)}, {"main\\b", 0x0B, storedofsize(20)}, {"prog\\c", 0x00, storedofsize(30)}});
    ASSERT_EQ(f.size(), 224u);
    EXPECT_EQ(f[58], 5);
    EXPECT_EQ(f[59], 0);
    struct Row { std::uint32_t offset; const char* name; std::uint8_t type; std::uint16_t count; };
    const Row rows[] = {{146, "main", 0x1F, 2}, {146, "a", 0x12, 0}, {162, "b", 0x0B, 0}, {188, "prog", 0x1F, 1}, {188, "c", 0x00, 0}};
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(offset(f, k), rows[k].offset);
        EXPECT_EQ(name(f, k), rows[k].name);
        EXPECT_EQ(type(f, k), rows[k].type);
        EXPECT_EQ(count(f, k), rows[k].count);
        EXPECT_EQ(f[73 + 16 * k], 0);
    }
    EXPECT_EQ(dwordat(f, 140), 224u);
    EXPECT_EQ(f[144], 0xA5);
    EXPECT_EQ(f[145], 0x5A);
    // Sections back to back: four zero bytes, the stored bytes, their checksum.
    EXPECT_EQ(Bytes(f.begin() + 146, f.begin() + 150), Bytes(4, 0));
    EXPECT_EQ(Bytes(f.begin() + 150, f.begin() + 160), storedofsize(10));
    const Bytes c = storedofsize(30);
    EXPECT_EQ(Bytes(f.begin() + 192, f.begin() + 222), c);
    EXPECT_EQ(wordat(f, 222), std::accumulate(c.begin(), c.end(), 0u) & 0xFFFF);
}

TEST_F(PackageWriterTest, HeaderBytes) {
    Bytes f = save({{"x", 0x00, storedofsize(5)}});
    EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "**TI92**");
    EXPECT_EQ(f[8], 0x01);
    EXPECT_EQ(Bytes(f.begin() + 9, f.begin() + 18), Bytes(9, 0));
    EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 22), "demo");
    EXPECT_EQ(Bytes(f.begin() + 22, f.begin() + 58), Bytes(36, 0));
}

TEST_F(PackageWriterTest, FolderRunsFollowTheRecordOrder) {
    struct Case { std::vector<std::string> names; std::vector<std::string> table; };
    const Case cases[] = {
        {{"a", "b"}, {"a", "b"}},
        {{"main\\a", "prog\\b", "main\\c"}, {"main", "a", "prog", "b", "main", "c"}},
        {{"main\\a", "b", "main\\c"}, {"main", "a", "b", "main", "c"}},
        {{"x\\a", "x\\b", "x\\c"}, {"x", "a", "b", "c"}},
    };
    for (const auto& c : cases) {
        std::vector<StagedVariable> vars;
        for (const auto& n : c.names) vars.push_back({n, 0x0C, storedofsize(4)});
        Bytes f = save(vars);
        ASSERT_EQ(f[58], c.table.size());
        for (std::size_t k = 0; k < c.table.size(); ++k) EXPECT_EQ(name(f, int(k)), c.table[k]) << k;
    }
}

TEST_F(PackageWriterTest, CommentIsCutPaddedOrReplaced) {
    const std::string c34(34, 'q');
    std::string e34;  // typed: 34 accented characters, 68 bytes of UTF-8
    for (int i = 0; i < 34; ++i) e34 += "\u00e9";
    struct Case { std::string box, written, boxafter; bool cut; };
    const Case cases[] = {
        {c34, c34, c34, false},
        {c34 + "overflow", c34, c34 + "overflow", true},
        {"", "Description unknown", "Description unknown", false},
        {e34, std::string(34, '\xE9'), e34, false},        // one TI-92 byte each
        {e34 + "x", std::string(34, '\xE9'), e34 + "x", true},
        {"\u03b1=2\u00b7\u03c0", "\x80=2\xB7\x8C", "\u03b1=2\u00b7\u03c0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        comment = c.box;
        Bytes f = save({{"x", 0, storedofsize(4)}});
        std::string field(f.begin() + 18, f.begin() + 52);
        EXPECT_EQ(field.substr(0, field.find('\0')), c.written);
        EXPECT_EQ(Bytes(f.begin() + 52, f.begin() + 58), Bytes(6, 0));
        EXPECT_EQ(comment, c.boxafter);
        EXPECT_EQ(shell.laststatus().find("cut") != std::string::npos, c.cut) << shell.laststatus();
    }
}

TEST_F(PackageWriterTest, CommentWithACharacterTheCalculatorLacksSavesNothing) {
    stage(store, {{"x", 0, storedofsize(4)}});
    comment = "\u65e5\u672c";
    std::string error;
    EXPECT_FALSE(savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92));
    EXPECT_NE(error.find("U+65E5"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.92g"));
    EXPECT_TRUE(nostray());
    EXPECT_TRUE(state.busy);
}

TEST_F(PackageWriterTest, EightCharacterNamesHaveNoTerminator) {
    // A staged name holds 16 characters, so an 8-character folder leaves room for 7.
    Bytes f = save({{"ijklmnop", 0x12, storedofsize(4)}, {"abcdefgh\\ijklmno", 0x12, storedofsize(4)}});
    EXPECT_EQ(std::string(f.begin() + 64, f.begin() + 72), "ijklmnop");
    EXPECT_EQ(std::string(f.begin() + 80, f.begin() + 88), "abcdefgh");
    auto parsed = parsetifile(f, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries[0].fullname(), "ijklmnop");
    EXPECT_EQ(parsed->entries[2].fullname(), "abcdefgh\\ijklmno");
}

TEST_F(PackageWriterTest, Checksums) {
    Bytes f = save({{"a", 0, Bytes{0x00, 0x03, 0x01, 0x02, 0x03}}});
    EXPECT_EQ(f[f.size() - 2], 0x09);
    EXPECT_EQ(f[f.size() - 1], 0x00);
    Bytes big{0x00, 0x02, 0xFF, 0xFE};  // adds up to 0x01FF
    f = save({{"a", 0, big}});
    EXPECT_EQ(f[f.size() - 2], 0xFF);
    EXPECT_EQ(f[f.size() - 1], 0x01);
}

TEST_F(PackageWriterTest, SingleVariableOffsets) {
    Bytes f = save({{"prog", 0x12, stored({1, 2, 3, 4, 5})}});
    EXPECT_EQ(offset(f, 0), 82u);
    EXPECT_EQ(f[72], 0x12);
    EXPECT_EQ(Bytes(f.begin() + 82, f.begin() + 86), Bytes(4, 0));
    EXPECT_EQ(f[86], 0);
    EXPECT_EQ(f[87], 5);
    EXPECT_EQ(Bytes(f.begin() + 88, f.begin() + 93), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(PackageWriterTest, BackupLayout) {
    const std::size_t s = 1000;
    Bytes data = storedofsize(s);
    Bytes f = save({{"1.11", 0x1D, data}}, true);
    ASSERT_EQ(f.size(), 84 + s);
    EXPECT_EQ(offset(f, 0), 82u);
    EXPECT_EQ(dwordat(f, 76), 84 + s);
    EXPECT_EQ(Bytes(f.begin() + 82, f.end() - 2), data);
    auto parsed = parsetifile(f, nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->backuplayout);
    EXPECT_EQ(parsed->entries[0].size, s);
    EXPECT_EQ(parsed->entries[0].dataposition, 82u);
}

TEST_F(PackageWriterTest, EmptyPackageIsAValidEmptyFile) {
    Bytes f = save({});
    ASSERT_EQ(f.size(), 66u);
    EXPECT_EQ(f[58], 0);
    EXPECT_EQ(dwordat(f, 60), 66u);
    EXPECT_EQ(f[64], 0xA5);
    EXPECT_TRUE(parsetifile(f, nullptr));
}

TEST_F(PackageWriterTest, StatusGaugeAndBusyFlag) {
    save({{"a", 0, storedofsize(4)}, {"b", 0, storedofsize(4)}, {"c", 0, storedofsize(4)}});
    ASSERT_GE(shell.statuses.size(), 2u);
    EXPECT_EQ(shell.statuses.front(), "Saving out.92g Please Wait..");
    EXPECT_EQ(shell.statuses.back(), "out.92g saved.");
    EXPECT_EQ(shell.gaugemax, 3);
    EXPECT_EQ(shell.gaugepositions, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(shell.refreshes, 1);
    EXPECT_TRUE(state.busy);
    EXPECT_TRUE(nostray());
}

TEST_F(PackageWriterTest, RoundTripEveryVariable) {
    std::vector<StagedVariable> vars;
    // Over 64 KB in all, so the later offsets need their high bits.
    for (int i = 0; i < 6; ++i)
        vars.push_back({(i < 3 ? "main\\v" : "other\\w") + std::to_string(i), std::uint8_t(i), storedofsize(20000 + i, std::uint8_t(i))});
    Bytes f = save(vars);
    ASSERT_GT(f.size(), 65535u);
    TiFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(dir / "out.92g", &error)) << error;
    auto vs = reader.file().variables();
    ASSERT_EQ(vs.size(), vars.size());
    for (std::size_t i = 0; i < vars.size(); ++i) {
        Bytes back;
        ASSERT_TRUE(reader.readvariable(*vs[i], back));
        EXPECT_EQ(vs[i]->fullname(), vars[i].name);
        EXPECT_EQ(vs[i]->type, vars[i].type);
        EXPECT_EQ(back, vars[i].data) << vars[i].name;
    }
    EXPECT_GT(vs.back()->dataposition, 65535u);
}

// ---- failures: a clear message, the busy flag left held, nothing under the chosen name ----

TEST_F(PackageWriterTest, MissingPackageStore) {
    std::string error;
    EXPECT_FALSE(savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92));
    EXPECT_NE(error.find("package store"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.92g"));
    EXPECT_TRUE(state.busy);
    EXPECT_EQ(shell.laststatus(), error);
}

TEST_F(PackageWriterTest, UnwritableDestinationKeepsNothing) {
    stage(store, {{"a", 0, storedofsize(4)}});
    writebytes(dir / "notafolder", {1});
    for (auto dest : {dir / "missing" / "out.92g", dir / "notafolder" / "out.92g"}) {
        std::string error;
        EXPECT_FALSE(savepackage(dest, false, store, comment, shell, state, &error, kTI92));
        EXPECT_NE(error.find("Cannot write out.92g"), std::string::npos) << error;
        EXPECT_TRUE(state.busy);
    }
}

TEST_F(PackageWriterTest, DamagedStoreLeavesAnExistingFileAlone) {
    writebytes(dir / "out.92g", {1, 2, 3});
    stage(store, {{"a", 0, storedofsize(40)}});
    // The data file lost its tail: the record now points past it.
    std::filesystem::resize_file(store.datapath(), 10);
    std::string error;
    EXPECT_FALSE(savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_EQ(readbytes(dir / "out.92g"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(state.busy);
}

TEST_F(PackageWriterTest, DiskFullMidwayKeepsTheOldFile) {
    writebytes(dir / "out.92g", {7, 7});
    stage(store, {{"a", 0, storedofsize(60000)}, {"b", 0, storedofsize(60000)}, {"c", 0, storedofsize(60000)}});
    // A file-size limit makes the write fail part-way, as a full disk would.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    auto oldsig = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    bool ok = savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldsig);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("No file was saved"), std::string::npos) << error;
    EXPECT_EQ(readbytes(dir / "out.92g"), (Bytes{7, 7}));
    EXPECT_TRUE(nostray());
    EXPECT_TRUE(state.busy);
}

TEST_F(PackageWriterTest, CancelStopsWithoutAFile) {
    stage(store, {{"a", 0, storedofsize(40)}, {"b", 0, storedofsize(40)}});
    shell.onpump = [this](int) { ++state.cancelgeneration; };
    std::string error;
    EXPECT_FALSE(savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92));
    EXPECT_NE(error.find("cancelled"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.92g"));
    EXPECT_TRUE(nostray());
    EXPECT_TRUE(state.busy);
}

TEST_F(PackageWriterTest, MoreThan255EntriesIsRefused) {
    std::vector<StagedVariable> vars;
    for (int i = 0; i < 128; ++i)
        vars.push_back({std::string("f").append(std::to_string(i)).append("\\v"), 0, storedofsize(4)});
    stage(store, vars);  // 128 folders + 128 variables
    std::string error;
    EXPECT_FALSE(savepackage(dir / "out.92g", false, store, comment, shell, state, &error, kTI92));
    EXPECT_NE(error.find("255"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.92g"));
}

// ---- the Save to file command ----

// The calculator the data came from signs the file; a name of a model that does not take
// its files is refused before anything is written.
TEST_F(PackageWriterTest, SignedByTheDataModelAndNamedForIt) {
    stage(store, {{"main\\a", 0x12, storedofsize(4)}});
    std::string error;
    for (const CalculatorModel* m : allmodels()) {
        const auto dest = dir / ("own." + groupextension(*m));
        ASSERT_TRUE(savepackage(dest, false, store, comment, shell, state, &error, *m)) << error;
        const Bytes f = readbytes(dest);
        EXPECT_EQ(std::string(f.begin(), f.begin() + 8), m->signature) << m->id;
    }
    EXPECT_FALSE(savepackage(dir / "x.89g", true, store, comment, shell, state, &error, kTI92));
    EXPECT_EQ(error, "Cannot save x.89g names a TI-89 file, and the data is a TI-92's: name it .92b. No file was saved.");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.89g"));
    EXPECT_TRUE(nostray());
}

TEST_F(PackageWriterTest, SaveToFileCommandAsksAndSaves) {
    stage(store, {{"a", 0, storedofsize(4)}});
    comment.clear();
    shell.inputanswers.push_back(std::string("my games"));
    shell.saveanswers.push_back((dir / "games.92g").string());
    EXPECT_TRUE(savepackagecommand(store, comment, shell, shell, state, kTI92));
    EXPECT_EQ(shell.questions, (std::vector<std::string>{"comment ", "destination "}));
    EXPECT_EQ(comment, "my games");
    auto f = readtifile(dir / "games.92g", nullptr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->comment, "my games");
}

TEST_F(PackageWriterTest, SaveToFileCommandCancelled) {
    stage(store, {{"a", 0, storedofsize(4)}});
    comment = "kept";
    EXPECT_FALSE(savepackagecommand(store, comment, shell, shell, state, kTI92));  // dialog cancelled
    EXPECT_EQ(shell.questions, std::vector<std::string>{"destination "});
    EXPECT_TRUE(shell.statuses.empty());
    // A cancelled comment box leaves the box empty, and the save writes the default.
    comment.clear();
    shell.saveanswers.push_back((dir / "x.92g").string());
    EXPECT_TRUE(savepackagecommand(store, comment, shell, shell, state, kTI92));
    EXPECT_EQ(readtifile(dir / "x.92g", nullptr)->comment, "Description unknown");
}

TEST_F(PackageWriterTest, SaveToFileCommandHandsOverFailure) {
    shell.saveanswers.push_back((dir / "x.92g").string());
    EXPECT_FALSE(savepackagecommand(store, comment, shell, shell, state, kTI92));  // no package store
    ASSERT_EQ(shell.failures.size(), 1u);
    EXPECT_TRUE(state.busy);
}

} // namespace
} // namespace tessaly::test
