#include <gtest/gtest.h>

#include "files/filetestutil.h"
#include "files/screenpicture.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// The top-left pixel black, the bottom-right pixel light grey.
ScreenPicture corners() {
    ScreenPicture p;
    p.colours = ScreenPicture::Colours::Greys;
    p.addbyte(0, 0x80, 3);
    p.addbyte(kScreenBytes - 1, 0x01, 2);
    return p;
}

TEST(ScreenPictureFile, BmpIsA24BitBottomUpBitmapOf240By128) {
    const Bytes b = encodebmp(corners());
    ASSERT_EQ(b.size(), 54u + 240 * 128 * 3);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(dwordat(b, 2), b.size());
    EXPECT_EQ(dwordat(b, 10), 54u);
    EXPECT_EQ(dwordat(b, 18), 240u);
    EXPECT_EQ(dwordat(b, 22), 128u);
    EXPECT_EQ(wordat(b, 28), 24);
    // The file's first row is the picture's bottom row, its pixels blue, green, red.
    const std::size_t bottomright = 54 + 239 * 3;
    EXPECT_EQ(Bytes(b.begin() + bottomright, b.begin() + bottomright + 3), (Bytes{192, 192, 192}));
    const std::size_t topleft = 54 + 127 * 240 * 3;
    EXPECT_EQ(Bytes(b.begin() + topleft, b.begin() + topleft + 6), (Bytes{0, 0, 0, 255, 255, 255}));
}

TEST(ScreenPictureFile, TheNameChoosesTheFormat) {
    TempDir dir;
    const std::pair<const char*, Bytes> cases[] = {
        {"a.png", {0x89, 'P', 'N', 'G'}}, {"b.PNG", {0x89, 'P', 'N', 'G'}}, {"c.bmp", {'B', 'M'}}, {"d", {'B', 'M'}}};
    for (const auto& [name, magic] : cases) {
        std::string error;
        ASSERT_TRUE(savepicture(dir.path() / name, corners(), &error)) << error;
        const Bytes b = readbytes(dir.path() / name);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(magic.size())), magic) << name;
    }
}

} // namespace
