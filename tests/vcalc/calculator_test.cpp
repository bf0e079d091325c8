// The calculator's memory, screen, keys, FCamera stream and backups, over the cable.
#include <filesystem>

#include <gtest/gtest.h>

#include "vcalc/statefile.h"
#include "wire.h"

namespace tessaly::testing {
namespace {

namespace fs = std::filesystem;

// The computer's side of a backup from the calculator; returns the image and the blocks.
std::pair<Bytes, int> fetchbackup(Wire& w, std::string_view name = "main\\backup") {
    w.send(kReady);
    EXPECT_EQ(w.packet(), kCalcAck);
    w.send(pcpacket(CmdRequest, varheader(0, kTI92.backuptype, name)));
    EXPECT_EQ(w.packet(), kCalcAck);
    Bytes image;
    int blocks = 0;
    for (Bytes header = w.packet(); w.state.linkok && header[1] == CmdVarHeader; header = w.packet()) {
        ++blocks;
        EXPECT_EQ(Bytes(header.begin() + 8, header.end() - 2), (Bytes{kTI92.backuptype, 4, '1', '.', '1', '1'}));
        w.send(kAck);
        w.send({0x09, 0x09, 0x00, 0x04});
        EXPECT_EQ(w.packet(), kCalcAck);
        const Bytes data = w.packet();
        EXPECT_EQ(Bytes(data.begin() + 4, data.begin() + 8), (Bytes{0x00, 0x00, 0x1B, 0x00}));
        EXPECT_EQ(data.size() - 10, std::size_t{header[4]} + 256u * header[5]) << "block size in its header";
        image.insert(image.end(), data.begin() + 8, data.end() - 2);
        w.send(kAck);
    }
    return {image, blocks};
}

// The computer's side of a restore, as this program sends it: no names, block size 0.
void restorebackup(Wire& w, const Bytes& image) {
    w.send(kReady);
    EXPECT_EQ(w.packet(), kCalcAck);
    const auto n = static_cast<std::uint32_t>(image.size());
    w.send(pcpacket(CmdVarHeader, {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                   static_cast<std::uint8_t>(n >> 16), 0, kTI92.backuptype}));
    EXPECT_EQ(w.packet(), kCalcAck);
    for (std::size_t at = 0; at < image.size(); at += 1024) {
        w.send(pcpacket(CmdVarHeader, {0, 0, 0, 0, kTI92.backuptype}));
        EXPECT_EQ(cat({w.packet(), w.packet()}), cat({kCalcAck, kCalcCts}));
        w.send(kAck);
        const auto end = image.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1024, image.size()));
        w.send(pcpacket(CmdData, Bytes(image.begin() + static_cast<std::ptrdiff_t>(at), end)));
        EXPECT_EQ(w.packet(), kCalcAck);
    }
    w.send(kEot);
}

TEST(VcalcBackup, ImageOfTheDemoMemoryComesInSeveralBlocksAndReadsBack) {
    Wire w;
    w.calc.loaddemo();
    const auto [image, blocks] = fetchbackup(w);
    EXPECT_GT(blocks, 5);
    EXPECT_TRUE(w.calc.quiet());
    const auto memory = memoryfromimage(image);
    ASSERT_TRUE(memory.has_value());
    ASSERT_EQ(memory->folders.size(), w.calc.memory().folders.size());
    for (std::size_t f = 0; f < memory->folders.size(); ++f) {
        const auto& a = memory->folders[f];
        const auto& b = w.calc.memory().folders[f];
        EXPECT_EQ(a.name, b.name);
        ASSERT_EQ(a.variables.size(), b.variables.size());
        for (std::size_t v = 0; v < a.variables.size(); ++v) {
            EXPECT_EQ(a.variables[v].name, b.variables[v].name);
            EXPECT_EQ(a.variables[v].data, b.variables[v].data);
            EXPECT_EQ(a.variables[v].locked, b.variables[v].locked);
        }
    }
}

TEST(VcalcBackup, RestoringAnImageReplacesTheMemory) {
    Wire w;
    w.calc.loaddemo();
    const Bytes image = fetchbackup(w).first;
    capturememory(w.calc);
    restorebackup(w, image);
    EXPECT_TRUE(w.calc.quiet()) << "no answer to the end of transmission";
    EXPECT_NE(w.calc.memory().find("games\\tetris"), nullptr);
    EXPECT_EQ(w.calc.memory().find("test\\x"), nullptr);
}

TEST(VcalcBackup, AnImageItCannotReadLeavesTheMemoryAndComesBackAsItWent) {
    Wire w;
    capturememory(w.calc);
    Bytes foreign(2500);
    for (std::size_t i = 0; i < foreign.size(); ++i) foreign[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::string> notices;
    w.calc.onnotice([&](const std::string& n) { notices.push_back(n); });
    restorebackup(w, foreign);
    EXPECT_NE(w.calc.memory().find("test\\x"), nullptr);
    EXPECT_EQ(notices, std::vector<std::string>{kForeignBackupNotice});
    EXPECT_EQ(fetchbackup(w).first, foreign);
    // An image of its own is taken in again: the notice is taken back, the foreign image gone.
    const Bytes own = backupimage(w.calc.memory());
    restorebackup(w, own);
    EXPECT_EQ(notices.back(), "");
    EXPECT_EQ(fetchbackup(w).first, own);
}

TEST(VcalcBackup, VersionRequestAbortedAfterTheFirstHeader) {
    Wire w;
    w.send(kReady);
    EXPECT_EQ(w.packet(), kCalcAck);
    w.send(pcpacket(CmdRequest, varheader(0, kTI92.backuptype, "main\\version")));
    EXPECT_EQ(w.packet(), kCalcAck);
    EXPECT_EQ(w.packet(), calcpacket(CmdVarHeader, varheader(1024, kTI92.backuptype, "1.11")));
    w.send({0x09, 0x5A, 0x00, 0x00});
    EXPECT_TRUE(w.calc.quiet());
    w.send(kReady);
    EXPECT_EQ(w.packet(), kCalcAck);
}

TEST(VcalcScreen, RequestSendsTheScreenWithoutAReadyCheck) {
    Wire w;
    w.calc.presskey('7');
    w.send({0x09, 0x6D, 0x00, 0x00});
    EXPECT_EQ(w.packet(), kCalcAck);
    const Bytes p = w.packet();
    const CalcScreen& s = w.calc.screen();
    EXPECT_EQ(p, calcpacket(CmdData, Bytes(s.begin(), s.end())));
    EXPECT_EQ(p[2], 0x00);
    EXPECT_EQ(p[3], 0x0F);
}

int darkpixels(const CalcScreen& s, int y0, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = 0; x < 30; ++x) n += __builtin_popcount(s[static_cast<std::size_t>(y * 30 + x)]);
    return n;
}

TEST(VcalcScreen, TypedKeysAppearOnTheEntryLineAndEnterCopiesThemUp) {
    Wire w;
    const int entry0 = darkpixels(w.calc.screen(), 110, 117);
    const int history0 = darkpixels(w.calc.screen(), 12, 106);
    for (std::uint16_t k : {'1', '+', '2'}) {
        w.send({0x09, 0x87, static_cast<std::uint8_t>(k), 0x00});
        EXPECT_EQ(w.packet(), kCalcAck);
    }
    EXPECT_GT(darkpixels(w.calc.screen(), 110, 117), entry0);
    const int typed = darkpixels(w.calc.screen(), 110, 117);
    w.calc.presskey(13);
    // The entry stays on its line, selected (drawn inverse), until CLEAR or a new key.
    EXPECT_GT(darkpixels(w.calc.screen(), 110, 117), typed);
    EXPECT_GT(darkpixels(w.calc.screen(), 12, 106), history0);
    w.calc.presskey('7');
    EXPECT_EQ(w.calc.entryline(), "7");
    w.calc.presskey(263);
    EXPECT_EQ(darkpixels(w.calc.screen(), 110, 117), entry0);
    EXPECT_GT(darkpixels(w.calc.screen(), 12, 106), history0) << "CLEAR on a full entry line keeps the history";
}

struct KeyCase {
    const char* what;
    std::vector<std::uint16_t> keys;
    bool athome;
};

class VcalcKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(VcalcKeys, DecideWhetherReadyChecksAreAnswered) {
    Wire w;
    for (auto k : GetParam().keys) {
        w.send({0x09, 0x87, static_cast<std::uint8_t>(k & 0xFF), static_cast<std::uint8_t>(k >> 8)});
        EXPECT_EQ(w.packet(), kCalcAck) << "keys are taken anywhere";
    }
    EXPECT_EQ(w.calc.athome(), GetParam().athome);
    w.send(kReady);
    if (GetParam().athome) {
        EXPECT_EQ(w.packet(), kCalcAck);
    }
    EXPECT_EQ(w.calc.quiet(), true);
}

INSTANTIATE_TEST_SUITE_P(Cases, VcalcKeys,
                         ::testing::Values(KeyCase{"apps", {265}, false}, KeyCase{"mode", {266}, false},
                                           KeyCase{"f1", {268}, false}, KeyCase{"appsthenesc", {265, 264}, true},
                                           KeyCase{"modethenhome", {266, 8273}, true},
                                           KeyCase{"appsthenquit", {265, 4360}, true},
                                           KeyCase{"letters", {'a', 257, 263}, true}),
                         [](const auto& param) { return std::string(param.param.what); });

struct HomeCase {
    const char* line;
    const char* gone;     // a variable no longer there afterwards ("" none)
    const char* present;  // one there afterwards
    bool locked;          // whether `present` is locked then
};

// One memory run through the commands in turn, as typed on the home screen.
TEST(VcalcHomeScreen, CommandsChangeTheMemoryOrStopAtTheCalculatorsErrors) {
    Wire w;
    capturememory(w.calc);
    const HomeCase cases[] = {
        {"newfold extra", "", "test\\x", false},
        {"delvar test\\y", "", "test\\y", true},           // locked: stays
        {"rename test\\y,extra\\y", "extra\\y", "test\\y", true},  // locked: stays
        {"unlock test\\y", "", "test\\y", false},
        {"rename test\\y,extra\\y2", "test\\y", "extra\\y2", false},
        {"rename test\\x,nofold\\x", "nofold\\x", "test\\x", false},
        {"rename test\\x,test\\z", "", "test\\x", false},  // the new name is taken
        {"lock TEST\\X", "", "test\\x", true},
        {"archive test\\z", "", "test\\z", false},       // no archive on the TI-92: only an answer
        {"delvar test\\z,test\\x", "test\\z", "test\\x", true},  // stops at the locked one
    };
    for (const HomeCase& c : cases) {
        for (char ch : std::string(c.line)) w.calc.presskey(static_cast<std::uint8_t>(ch));
        w.calc.presskey(13);
        EXPECT_EQ(w.calc.entryline(), c.line) << "the line stays on screen";
        EXPECT_TRUE(!*c.gone || !w.calc.memory().find(c.gone)) << c.line;
        const CalcVariable* v = w.calc.memory().find(c.present);
        ASSERT_NE(v, nullptr) << c.line;
        EXPECT_EQ(v->locked, c.locked) << c.line;
        w.calc.presskey(263);
    }
    EXPECT_NE(w.calc.memory().folder("extra"), nullptr);
}

struct CameraCase {
    int mode;
    std::size_t planes;
};

class VcalcFCamera : public ::testing::TestWithParam<CameraCase> {};

TEST_P(VcalcFCamera, StreamsRawPlanesWhenTheComputerListens) {
    Wire w;
    const CalcScreen plane1 = w.calc.screen();
    w.calc.fcamerastream(GetParam().mode);
    w.clock.advance(5'000'000);  // the user presses the key before the computer listens
    const Bytes head = w.receive(5);
    EXPECT_EQ(head, (Bytes{'F', 0, 0, 0, static_cast<std::uint8_t>(GetParam().mode)}));
    EXPECT_EQ(w.receive(3840), Bytes(plane1.begin(), plane1.end()));
    if (GetParam().planes == 2) {
        EXPECT_EQ(w.receive(3840).size(), 3840u);
    }
    EXPECT_TRUE(w.state.linkok) << w.state.pendingerror;
    EXPECT_TRUE(w.calc.quiet()) << "no checksum, nothing more";
}

INSTANTIATE_TEST_SUITE_P(Modes, VcalcFCamera,
                         ::testing::Values(CameraCase{1, 1}, CameraCase{2, 2}, CameraCase{7, 1}),
                         [](const auto& param) { return "mode" + std::to_string(param.param.mode); });

TEST(VcalcFCamera, GreyModeUsesAllFourLevels) {
    Wire w;
    w.calc.fcamerastream(2);
    w.receive(5);
    const Bytes p1 = w.receive(3840), p2 = w.receive(3840);
    bool seen[4] = {};
    for (std::size_t i = 0; i < 3840; ++i)
        for (int b = 0; b < 8; ++b) seen[((p1[i] >> b) & 1) + 2 * ((p2[i] >> b) & 1)] = true;
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);
}

TEST(VcalcDemoMemory, HasEveryCommonTypeWithConsistentSizeWords) {
    Wire w;
    w.calc.loaddemo();
    const auto& folders = w.calc.memory().folders;
    ASSERT_GE(folders.size(), 3u);
    EXPECT_EQ(folders.front().name, "main");
    bool types[32] = {};
    int locked = 0;
    for (const auto& f : folders)
        for (const auto& v : f.variables) {
            ASSERT_GE(v.data.size(), 2u);
            EXPECT_EQ(v.data.size(), 2u + (v.data[0] << 8 | v.data[1])) << f.name << "\\" << v.name;
            EXPECT_LE(v.name.size(), 8u);
            types[v.type & 31] = true;
            locked += v.locked;
        }
    for (int t : {0x00, 0x04, 0x06, 0x0B, 0x0C, 0x10, 0x12, 0x13}) EXPECT_TRUE(types[t]) << "type " << t;
    EXPECT_EQ(locked, 1);
}

std::string cstring(const Bytes& content, std::size_t at) {
    std::string s;
    while (at < content.size() && content[at] != 0 && content[at] != 0x81) s += static_cast<char>(content[at++]);
    return s;
}

TEST(VcalcDemoMemory, FargoProgramListsItsLibrariesWhereTheFileReaderLooks) {
    Wire w;
    w.calc.loaddemo();
    const CalcVariable* prog = w.calc.memory().find("games\\tetris");
    const CalcVariable* lib = w.calc.memory().find("games\\flib");
    ASSERT_TRUE(prog && lib);
    // A single-variable file puts content offset c at file offset 88 + c.
    const Bytes c(prog->data.begin() + 2, prog->data.end());
    EXPECT_EQ(c[1], 'P');
    const std::size_t v = c[6] << 8 | c[7], d = c[12] << 8 | c[13];
    ASSERT_LT(1 + v, c.size());
    EXPECT_EQ(c[1 + v], 2);
    EXPECT_EQ(cstring(c, 2 + v), "flib");
    EXPECT_EQ(cstring(c, 2 + v + 5), "graphlib");
    EXPECT_EQ(cstring(c, d), "Falling blocks for FARGO");
    EXPECT_EQ(lib->data[3], 'L');
}

TEST(VcalcDemoMemory, TextVariableHasTheCalculatorsLayout) {
    Wire w;
    w.calc.loaddemo();
    const Bytes& t = w.calc.memory().find("work\\todo")->data;
    const Bytes content(t.begin() + 2, t.end());
    EXPECT_EQ(content, cat({{0x00, 0x01, 0x20}, text("Buy batteries"), {0x0D, 0x20}, text("Back up the calculator"),
                            {0x00, 0xE0}}));
}

TEST(VcalcStateFile, IsCreatedFromTheMemoryAndWrittenBackAfterAChange) {
    const fs::path path = fs::temp_directory_path() / ("vcalc-state-" + std::to_string(::getpid()) + ".92g");
    fs::remove(path);
    {
        Wire w;
        capturememory(w.calc);
        std::string error;
        ASSERT_TRUE(w.calc.attachstate(path.string(), &error)) << error;
        EXPECT_TRUE(fs::exists(path));
        const Bytes stored{0x00, 0x03, 0x0C, 0x09, 0x1F};
        w.send(kReady);
        w.packet();
        w.send(pcpacket(CmdVarHeader, varheader(5, 0x00, "test\\n")));
        w.packet(), w.packet();
        w.send(kAck);
        w.send(pcpacket(CmdData, cat({{0, 0, 0, 0}, stored})));
        EXPECT_EQ(w.packet(), kCalcAck);
        EXPECT_EQ(w.calc.stateerror(), "");
    }
    Wire again;
    std::string error;
    ASSERT_TRUE(again.calc.attachstate(path.string(), &error)) << error;
    ASSERT_NE(again.calc.memory().find("test\\n"), nullptr);
    EXPECT_TRUE(again.calc.memory().find("test\\y")->locked);
    fs::remove(path);
}

TEST(VcalcStateFile, AFileThatIsNoTi92FileIsRefusedAndChangesNothing) {
    const fs::path path = fs::temp_directory_path() / ("vcalc-bad-" + std::to_string(::getpid()) + ".92g");
    { std::FILE* f = std::fopen(path.c_str(), "wb"); std::fputs("not a calculator file", f); std::fclose(f); }
    Wire w;
    capturememory(w.calc);
    std::string error;
    EXPECT_FALSE(w.calc.attachstate(path.string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(w.calc.memory().find("test\\x"), nullptr);
    fs::remove(path);
}

} // namespace
} // namespace tessaly::testing
