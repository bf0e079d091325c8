#include <gtest/gtest.h>

#include "files/filetestutil.h"
#include "files/pictureformats.h"
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

TEST(ScreenPictureFile, TheNameChoosesTheFormatAndOneWithoutIsRefused) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"a.png", "\x89PNG"}, {"b.PNG", "\x89PNG"}, {"c.bmp", "BM"}, {"e.JPG", "\xFF\xD8\xFF"},
        {"f.pgm", "P5\n240 128\n255\n"}, {"d", ""}, {"g.gif", ""}};
    for (const auto& [name, magic] : cases) {
        std::string error;
        EXPECT_EQ(savepicture(dir.path() / name, corners(), &error), !magic.empty()) << name;
        const Bytes b = readbytes(dir.path() / name);
        EXPECT_EQ(std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), magic.size()))), magic) << name;
        if (magic.empty()) {
            EXPECT_NE(error.find("no picture format"), std::string::npos) << name;
        }
    }
}

// The one-bit formats put the leftmost pixel in bit 7 (PBM) or bit 0 (XBM); grey formats
// keep the shade; XPM names each colour once.
TEST(ScreenPictureFile, PixelsLandWhereEachFormatWantsThem) {
    const ScreenPicture p = corners();
    const Bytes pbm = encodenetpbm(p, '4');
    ASSERT_EQ(pbm.size(), 11u + 30 * 128);
    EXPECT_EQ(pbm[11], 0x80);
    EXPECT_EQ(pbm.back(), 0x00) << "light grey is no dark pixel";
    const Bytes pgm = encodenetpbm(p, '5');
    EXPECT_EQ(pgm[15], 0);
    EXPECT_EQ(pgm.back(), 192);
    const Bytes xbmbytes = encodexbm(p);
    const std::string xbm(xbmbytes.begin(), xbmbytes.end());
    EXPECT_NE(xbm.find("screenshot_bits[] = {\n0x01,0x00,"), std::string::npos);
    const Bytes xpmbytes = encodexpm(p);
    const std::string xpm(xpmbytes.begin(), xpmbytes.end());
    EXPECT_NE(xpm.find("\"240 128 3 1\",\n\"a c #000000\",\n\"b c #FFFFFF\",\n\"c c #C0C0C0\",\n\"abbb"), std::string::npos);
    EXPECT_NE(xpm.find("bbc\"\n};"), std::string::npos);
}

} // namespace

namespace {

// The width and height a picture file states, read the way each format writes them.
std::pair<unsigned, unsigned> statedsize(const std::string& ext, const Bytes& b) {
    const std::string text(b.begin(), b.end());
    unsigned w = 0, h = 0;
    if (ext == ".png") return {dwordat(b, 16) >> 24 | (dwordat(b, 16) >> 8 & 0xFF00) | (dwordat(b, 16) << 8 & 0xFF0000),
                               dwordat(b, 20) >> 24 | (dwordat(b, 20) >> 8 & 0xFF00) | (dwordat(b, 20) << 8 & 0xFF0000)};
    if (ext == ".bmp") return {dwordat(b, 18), dwordat(b, 22)};
    if (ext == ".jpg" || ext == ".jpeg") {
        const auto sof = text.find("\xFF\xC0");
        return {unsigned(b[sof + 7]) << 8 | b[sof + 8], unsigned(b[sof + 5]) << 8 | b[sof + 6]};
    }
    if (ext == ".xbm") std::sscanf(text.c_str(), "#define screenshot_width %u\n#define screenshot_height %u", &w, &h);
    else if (ext == ".xpm") std::sscanf(text.c_str() + text.find("{\n\"") + 3, "%u %u", &w, &h);
    else std::sscanf(text.c_str(), "P%*c %u %u", &w, &h);
    return {w, h};
}

} // namespace

// Every format is written at the size the model's display shows, never read past it.
TEST(ScreenPictureFile, EveryFormatTakesEachModelsShownSize) {
    for (const CalculatorModel* m : allmodels())
        for (const std::string ext : {".png", ".bmp", ".jpg", ".jpeg", ".ppm", ".pgm", ".pbm", ".xpm", ".xbm"}) {
            ScreenPicture p = corners();
            p.width = m->shownwidth;
            p.height = m->shownheight;
            std::string error;
            const auto bytes = pictureformat("x" + ext)->encode(p, &error);
            ASSERT_TRUE(bytes) << ext << ": " << error;
            EXPECT_EQ(statedsize(ext, *bytes), std::make_pair(unsigned(m->shownwidth), unsigned(m->shownheight)))
                << m->name << ext;
        }
}
