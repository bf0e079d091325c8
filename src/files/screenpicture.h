#pragma once
#include "link/model.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

// The calculator's display: 240 x 128 pixels, x from the left, y from the top.
inline constexpr int kScreenWidth = kTI92.screenwidth;
inline constexpr int kScreenHeight = kTI92.screenheight;
// A screen bitmap as the calculator sends it: 30 bytes a row, top row first, bit 7 the
// leftmost pixel, a set bit dark.
inline constexpr std::size_t kScreenRowBytes = kTI92.screenrowbytes();
inline constexpr std::size_t kScreenBytes = kScreenRowBytes * kScreenHeight;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A screenshot: a value per pixel (the sum of the plane weights of its set bits) and the
// colours the values stand for.
struct ScreenPicture {
    enum class Colours { BlackWhite, Greys };
    Colours colours = Colours::BlackWhite;
    // What the display shows of the bitmap, from its top left corner (a TI-89's 160 x 100);
    // pictures are saved at this size.
    int width = kScreenWidth;
    int height = kScreenHeight;
    std::array<std::uint8_t, kScreenWidth * kScreenHeight> values{};  // row after row

    std::uint8_t value(int x, int y) const { return values[static_cast<std::size_t>(y * kScreenWidth + x)]; }
    Rgb colour(int x, int y) const;
    // Byte number k of a screen bitmap: weight is added to every pixel whose bit is set.
    void addbyte(std::size_t k, std::uint8_t byte, std::uint8_t weight);
    // Every shown pixel's colour, row after row, three bytes each.
    std::vector<std::uint8_t> rgb() const;
};

// A whole screen bitmap of one plane as a black-and-white picture.
ScreenPicture picturefrombitmap(const std::array<std::uint8_t, kScreenBytes>& bitmap);

// The picture as a 24-bit Windows bitmap file of its shown size.
std::vector<std::uint8_t> encodebmp(const ScreenPicture& picture);
// The picture as a PNG file (8-bit RGB); nullopt and why when the encoder fails.
std::optional<std::vector<std::uint8_t>> encodepng(const ScreenPicture& picture, std::string* error);
// Saves the picture whole or not at all, in the format its name's extension gives
// (pictureformats.h). A name with no known extension is refused and nothing is written.
bool savepicture(const std::filesystem::path& path, const ScreenPicture& picture, std::string* error);
// Why a name is refused as a picture's.
std::string unknownpictureformat(const std::filesystem::path& path);

} // namespace tessaly
