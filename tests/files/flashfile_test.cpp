#include "files/flashfile.h"

#include <gtest/gtest.h>

#include "files/filetestutil.h"
#include "support/flashsamples.h"

namespace tessaly::test {
namespace {

bool sameparts(const FlashFile& a, const FlashFile& b) {
    if (a.parts.size() != b.parts.size()) return false;
    for (std::size_t i = 0; i < a.parts.size(); ++i) {
        const FlashPart &x = a.parts[i], &y = b.parts[i];
        if (x.name != y.name || x.datatype != y.datatype || x.devicetype != y.devicetype || x.hardwareid != y.hardwareid ||
            x.revisionmajor != y.revisionmajor || x.revisionminor != y.revisionminor || x.day != y.day ||
            x.month != y.month || x.year != y.year || x.data != y.data)
            return false;
    }
    return true;
}

std::string damage(Bytes bytes) {
    std::string error;
    EXPECT_FALSE(parseflashfile(bytes, &error));
    return error;
}

TEST(FlashFile, EveryKindSurvivesAWriteAndARead) {
    TempDir dir;
    const FlashFile files[] = {samples::application(kTI89, "demoapp", 3000), samples::system(kV200, 3, 10, 5000),
                               samples::certificate(kTI92Plus, 300)};
    for (const FlashFile& f : files) {
        std::string error;
        ASSERT_TRUE(writeflashfile(dir / "f.89k", f, &error)) << error;
        const auto back = readflashfile(dir / "f.89k", &error);
        ASSERT_TRUE(back) << error;
        EXPECT_TRUE(sameparts(f, *back));
        const auto headers = readflashheaders(dir / "f.89k", &error);
        ASSERT_TRUE(headers) << error;
        ASSERT_EQ(headers->size(), f.parts.size());
        EXPECT_EQ(headers->back().datasize, f.parts.back().data.size());
        EXPECT_EQ(headers->back().part.name, f.parts.back().name);
        EXPECT_TRUE(headers->back().part.data.empty());
    }
    const FlashFile os = samples::system(kTI89Titanium, 3, 10, 100);
    ASSERT_EQ(os.parts.size(), 2u);
    EXPECT_EQ(os.payload(), &os.parts[1]);
    EXPECT_EQ(flashosversion(os.parts[1].data), (std::array<std::uint8_t, 2>{3, 10}));
    EXPECT_FALSE(flashosversion(samples::certificate(kTI89, 20).parts[0].data));
}

TEST(FlashFile, HeaderFieldsAreBcdAtTheirOffsets) {
    FlashFile f = samples::application(kTI92Plus, "longername", 10);
    f.parts.resize(1);
    f.parts[0].revisionmajor = 2;
    f.parts[0].revisionminor = 45;
    f.parts[0].day = 31;
    f.parts[0].month = 12;
    f.parts[0].year = 1999;
    f.parts[0].hardwareid = 8;
    f.parts[0].name = "longername";
    const Bytes b = flashbytes(f);
    EXPECT_EQ(Bytes(b.begin() + 8, b.begin() + 10), (Bytes{0x02, 0x45}));
    EXPECT_EQ(Bytes(b.begin() + 0x0C, b.begin() + 0x10), (Bytes{0x31, 0x12, 0x19, 0x99}));
    EXPECT_EQ(b[0x10], 8);
    EXPECT_EQ(std::string(b.begin() + 0x11, b.begin() + 0x19), "longerna");
    EXPECT_EQ(b[0x30], 0x88);
    EXPECT_EQ(b[0x49], 8);
    EXPECT_EQ(dwordat(b, 0x4A), f.parts[0].data.size());
    const auto back = parseflashfile(b, nullptr);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->parts[0].year, 1999);
    EXPECT_EQ(back->parts[0].revisionminor, 45);
    EXPECT_EQ(back->parts[0].name, "longerna");
}

TEST(FlashFile, PartsFollowOneAnotherAndAnyTailIsIgnored) {
    const FlashFile f = samples::system(kTI89, 2, 9, 70000);
    Bytes b = flashbytes(f);
    ASSERT_GT(f.parts[1].data.size(), 65536u);
    b.push_back(0x12);  // a checksum some writers add
    b.push_back(0x34);
    const auto back = parseflashfile(b, nullptr);
    ASSERT_TRUE(back);
    EXPECT_TRUE(sameparts(f, *back));
}

TEST(FlashFile, DamagedFilesNameThePartAndTheFault) {
    const Bytes good = flashbytes(samples::application(kTI89, "demoapp", 100));
    const std::size_t second = kFlashHeaderSize + dwordat(good, 0x4A);

    Bytes cut(good.begin(), good.end() - 1);
    EXPECT_EQ(damage(cut).rfind("part 2 (application): it is longer than the file", 0), 0u) << damage(cut);
    Bytes shortheader(good.begin(), good.begin() + static_cast<long>(second) + 20);
    EXPECT_NE(damage(shortheader).find("part 2"), std::string::npos);

    Bytes unknown = good;
    unknown[second + 0x31] = 0x7F;
    EXPECT_EQ(damage(unknown), "part 2: unknown data type 7F");
    Bytes nodevice = good;
    nodevice[0x30] = 0x11;
    EXPECT_EQ(damage(nodevice), "part 1 (licence): device type 11 is no calculator's");

    TempDir dir;
    writebytes(dir / "x.89k", Bytes{'*', '*', 'T', 'I', '8', '9', '*', '*'});
    std::string error;
    EXPECT_FALSE(readflashfile(dir / "x.89k", &error));
    EXPECT_EQ(error, "x.89k is not a Flash file.");
    writebytes(dir / "y.89k", cut);
    EXPECT_FALSE(readflashfile(dir / "y.89k", &error));
    EXPECT_EQ(error.rfind("y.89k is damaged: part 2 (application)", 0), 0u) << error;
    std::string headererror;
    EXPECT_FALSE(readflashheaders(dir / "y.89k", &headererror));
    EXPECT_EQ(headererror, error);
}

TEST(FlashFile, MismatchNamesTheModels) {
    const FlashFile app = samples::application(kTI92Plus, "demoapp", 10);
    EXPECT_EQ(flashmismatch(app, kTI89), "This application is for the TI-92 Plus or Voyage 200, not the TI-89.");
    EXPECT_EQ(flashmismatch(app, kV200), "");
    EXPECT_NE(flashmismatch(app, kTI92), "");
    const FlashFile os = samples::system(kV200, 3, 10, 10);
    EXPECT_EQ(flashmismatch(os, kTI92Plus), "This operating system is for the Voyage 200, not the TI-92 Plus.");
    EXPECT_EQ(flashmodels(0x98, 0).size(), 2u);
    EXPECT_TRUE(flashmodels(0x00, 0).empty());
}

TEST(FlashFile, FieldSizesUseTheNarrowestNibbleOrAWiderAskedOne) {
    const struct {
        std::size_t size;
        std::uint16_t id;
        std::size_t headerbytes;
    } cases[] = {{0, 0x8070, 2}, {12, 0x807C, 2}, {13, 0x807D, 3}, {255, 0x807D, 3}, {256, 0x807E, 4}, {65536, 0x807F, 6}};
    for (const auto& c : cases) {
        const Bytes content(c.size, 0xAB);
        const Bytes field = flashfield(0x8070, content);
        ASSERT_EQ(field.size(), c.headerbytes + c.size);
        EXPECT_EQ((field[0] << 8) | field[1], c.id) << c.size;
        const auto read = readflashfield(field, 0);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->offset, c.headerbytes);
        EXPECT_EQ(read->size, c.size);
        EXPECT_FALSE(readflashfield(Bytes(field.begin(), field.end() - 1), 0)) << c.size;
    }
    EXPECT_EQ(flashfield(0x800F, Bytes(3, 1)), (Bytes{0x80, 0x0F, 0, 0, 0, 3, 1, 1, 1}));
    EXPECT_EQ(flashfield(0x020D, Bytes(64, 0)).size(), 67u);
}

TEST(FlashFile, SealIsTheByteSumThenFiller) {
    const Bytes sealed{0xFF, 0xFF, 0x02};
    const auto seal = flashseal(sealed);
    EXPECT_EQ(Bytes(seal.begin(), seal.begin() + 5), (Bytes{0x00, 0x00, 0x02, 0x00, 0x5A}));
    EXPECT_EQ(seal[63], 0x5A);
}

} // namespace
} // namespace tessaly::test
