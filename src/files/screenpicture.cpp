#include "files/screenpicture.h"

#include <png.h>

#include <algorithm>
#include <cctype>

#include "files/pictureformats.h"
#include "files/safefile.h"

namespace tessaly {

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
// A pixel set only in the first plane is the darker grey.
constexpr Rgb kGreys[4] = {kWhite, {128, 128, 128}, {192, 192, 192}, kBlack};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void pngwrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngflush(png_structp) {}

// Kept apart so that nothing with a destructor lives in the frame libpng may jump out of.
bool pngencode(const std::uint8_t* pixels, int width, int height, std::vector<std::uint8_t>* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, pngwrite, pngflush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels + static_cast<std::size_t>(y * width) * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

Rgb ScreenPicture::colour(int x, int y) const {
    const std::uint8_t v = value(x, y) & 3;
    if (colours == Colours::Greys) return kGreys[v];
    return v == 0 ? kWhite : kBlack;
}

void ScreenPicture::addbyte(std::size_t k, std::uint8_t byte, std::uint8_t weight) {
    if (k >= kScreenBytes) return;
    const std::size_t first = (k / kScreenRowBytes) * kScreenWidth + (k % kScreenRowBytes) * 8;
    for (int bit = 0; bit < 8; ++bit)
        if (byte & (0x80 >> bit)) values[first + static_cast<std::size_t>(bit)] += weight;
}

std::vector<std::uint8_t> ScreenPicture::rgb() const {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(width * height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

ScreenPicture picturefrombitmap(const std::array<std::uint8_t, kScreenBytes>& bitmap) {
    ScreenPicture p;
    for (std::size_t k = 0; k < bitmap.size(); ++k) p.addbyte(k, bitmap[k], 1);
    return p;
}

std::vector<std::uint8_t> encodebmp(const ScreenPicture& picture) {
    constexpr std::uint32_t kHeaders = 14 + 40;
    // Each row is padded to a multiple of 4 bytes (the models' 240 and 160 need none).
    const auto kRow = (static_cast<std::uint32_t>(picture.width) * 3 + 3) & ~3u;
    const std::uint32_t kPixels = kRow * static_cast<std::uint32_t>(picture.height);
    std::vector<std::uint8_t> out{'B', 'M'};
    out.reserve(kHeaders + kPixels);
    put32(out, kHeaders + kPixels);
    put32(out, 0);
    put32(out, kHeaders);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(picture.width));
    put32(out, static_cast<std::uint32_t>(picture.height));  // positive: the bottom row comes first
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);  // no compression
    put32(out, kPixels);
    put32(out, 2835);  // 72 dots per inch
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.colour(x, y);
            out.insert(out.end(), {c.b, c.g, c.r});
        }
        out.resize(out.size() + kRow - static_cast<std::uint32_t>(picture.width) * 3, 0);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encodepng(const ScreenPicture& picture, std::string* error) {
    const std::vector<std::uint8_t> pixels = picture.rgb();
    std::vector<std::uint8_t> out;
    if (!pngencode(pixels.data(), picture.width, picture.height, &out)) {
        if (error) *error = "Cannot encode the screenshot as PNG";
        return std::nullopt;
    }
    return out;
}

bool savepicture(const std::filesystem::path& path, const ScreenPicture& picture, std::string* error) {
    const PictureFormat* format = pictureformat(path);
    if (!format) {
        if (error) *error = unknownpictureformat(path);
        return false;
    }
    const auto bytes = format->encode(picture, error);
    if (!bytes) return false;
    return savewhole(path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), error);
}

std::string unknownpictureformat(const std::filesystem::path& path) {
    return path.filename().string() + ": the name ends in no picture format; give it one of " + pictureextensions();
}

} // namespace tessaly
