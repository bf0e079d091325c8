#include "vcalc/statefile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/fileinfo.h"
#include "files/filetestutil.h"
#include "vcalc/homescreen.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

CalcMemory sample() {
    CalcMemory m;
    m.folders.push_back({"main", {{"x", 0x00, {0x00, 0x03, 0x0C, 0x01, 0x1F}, false},
                                  {"prog", 0x12, {0x00, 0x02, 0xAA, 0xBB}, true}}});
    m.folders.push_back({"empty", {}});
    Bytes big = storedofsize(40000);
    m.folders.push_back({"games", {{"tetris", 0x12, big, false}, {"notes", 0x0B, storedofsize(30000), true}}});
    return m;
}

TEST(StateFile, RoundTripKeepsFoldersTypesDataAndLocks) {
    TempDir dir;
    const auto path = (dir / "calc.92g").string();
    const CalcMemory m = sample();
    std::string error;
    ASSERT_TRUE(savecalcmemory(path, m, &error)) << error;
    CalcMemory back;
    ASSERT_TRUE(loadcalcmemory(path, back, &error)) << error;
    ASSERT_EQ(back.folders.size(), m.folders.size());
    for (std::size_t f = 0; f < m.folders.size(); ++f) {
        EXPECT_EQ(back.folders[f].name, m.folders[f].name);
        ASSERT_EQ(back.folders[f].variables.size(), m.folders[f].variables.size());
        for (std::size_t v = 0; v < m.folders[f].variables.size(); ++v) {
            const auto& a = m.folders[f].variables[v];
            const auto& b = back.folders[f].variables[v];
            EXPECT_EQ(b.name, a.name);
            EXPECT_EQ(b.type, a.type);
            EXPECT_EQ(b.data, a.data);
            EXPECT_EQ(b.locked, a.locked) << a.name;
        }
    }
    // An ordinary group file for every other reader.
    auto info = readfileinfo(path);
    EXPECT_TRUE(info.sendable);
    EXPECT_EQ(info.entries, "7");
    ASSERT_EQ(info.rows.size(), 4u);
    EXPECT_EQ(info.rows[2].caption, "games\\tetris");
}

TEST(StateFile, VariablesWithoutAFolderGoToMainAndMainComesFirst) {
    TempDir dir;
    Bytes s = stored({7});
    Bytes f = GoldenFile("", 3).entry(114, "x", 0).entry(123, "other", 0x1F, 1).entry(123, "y", 0).sizefield(132).section(s).section(s).bytes;
    writebytes(dir / "s.92g", f);
    CalcMemory m;
    ASSERT_TRUE(loadcalcmemory((dir / "s.92g").string(), m, nullptr));
    ASSERT_EQ(m.folders.size(), 2u);
    EXPECT_EQ(m.folders[0].name, "main");
    EXPECT_EQ(m.folders[0].variables.at(0).name, "x");
    EXPECT_EQ(m.folders[1].variables.at(0).name, "y");
}

TEST(StateFile, BadFileChangesNothing) {
    TempDir dir;
    writebytes(dir / "bad.92g", Bytes(70, 0));
    CalcMemory m = sample();
    std::string error;
    EXPECT_FALSE(loadcalcmemory((dir / "bad.92g").string(), m, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(m.folders.size(), 3u);
    EXPECT_FALSE(loadcalcmemory((dir / "none.92g").string(), m, &error));
    EXPECT_EQ(m.folders.size(), 3u);
}

TEST(StateFile, AMemoryBackupIsNotTakenForTheMemory) {
    TempDir dir;
    const Bytes backup = GoldenFile("b", 1).entry(82, "1.11", 0x1D).sizefield(88).section({1, 2, 3, 4}, true).bytes;
    writebytes(dir / "mem.92b", backup);
    CalcMemory m = sample();
    std::string error;
    EXPECT_FALSE(loadcalcmemory((dir / "mem.92b").string(), m, &error));
    EXPECT_NE(error.find("backup"), std::string::npos) << error;
    EXPECT_EQ(m.folders.size(), 3u);

    SimClock clock;
    VirtualCalculator calc(clock);
    EXPECT_FALSE(calc.attachstate((dir / "mem.92b").string(), &error));
    EXPECT_EQ(readbytes(dir / "mem.92b"), backup);
}

TEST(StateFile, ASingleVariableOrReadOnlyFileIsRefusedAndAFailedWriteIsToldAtOnce) {
    TempDir dir;
    const Bytes single = GoldenFile("one", 1).entry(82, "x", 0).sizefield(91).section(stored({1})).bytes;
    writebytes(dir / "x.92e", single);
    SimClock clock;
    VirtualCalculator calc(clock);
    std::string error;
    EXPECT_FALSE(calc.attachstate((dir / "x.92e").string(), &error));
    EXPECT_NE(error.find("group file"), std::string::npos) << error;
    EXPECT_EQ(readbytes(dir / "x.92e"), single);

    const auto path = dir / "calc.92g";
    ASSERT_TRUE(savecalcmemory(path.string(), sample(), nullptr));
    if (::geteuid() != 0) {  // root writes whatever the permissions say
        ::chmod(path.c_str(), 0444);
        EXPECT_FALSE(calc.attachstate(path.string(), &error));
        ::chmod(path.c_str(), 0644);
    }
    ASSERT_TRUE(calc.attachstate(path.string(), &error)) << error;
    std::vector<std::string> told;
    calc.onstateerror([&](const std::string& why) { told.push_back(why); });
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);  // the file's place is taken: the next change cannot be kept
    for (char c : std::string("newfold fresh")) calc.presskey(static_cast<std::uint8_t>(c));
    calc.presskey(key::Enter);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], calc.stateerror());
}

// A state file named for another model is refused before it is made.
TEST(StateFile, AnotherModelsExtensionIsRefused) {
    TempDir dir;
    SimClock clock;
    const struct {
        const CalculatorModel* model;
        const char* name;
    } cases[] = {{&kTI89, "x.92g"}, {&kTI92, "x.89g"}, {&kV200, "x.9xg"}, {&kTI89Titanium, "x.89t"}};
    for (const auto& c : cases) {
        VirtualCalculator calc(clock, *c.model);
        std::string error;
        EXPECT_FALSE(calc.attachstate((dir / c.name).string(), &error)) << c.name;
        EXPECT_NE(error.find("." + std::string(c.model->fileprefix) + "g"), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(dir / c.name)) << c.name;
    }
}

TEST(StateFile, FailedSaveKeepsTheOldState) {
    TempDir dir;
    const auto path = (dir / "calc.92g").string();
    ASSERT_TRUE(savecalcmemory(path, sample(), nullptr));
    const Bytes before = readbytes(path);
    CalcMemory broken = sample();
    broken.folders[0].variables[0].data = {0x00};  // no whole size word
    std::string error;
    EXPECT_FALSE(savecalcmemory(path, broken, &error));
    CalcMemory full;
    for (int i = 0; i < 300; ++i) full.folders.push_back({std::string("f").append(std::to_string(i)), {}});
    EXPECT_FALSE(savecalcmemory(path, full, &error));
    EXPECT_EQ(readbytes(path), before);
}

} // namespace
} // namespace tessaly::test
