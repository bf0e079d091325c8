#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/screenpicture.h"

namespace tessaly {

// A file format a screenshot can be written in, known by its file name's extension.
struct PictureFormat {
    std::string_view extension;  // lower case, with its dot
    std::optional<std::vector<std::uint8_t>> (*encode)(const ScreenPicture&, std::string* error);
};

// The format the name's extension (any case) stands for; nullptr for one that is no
// picture format known here.
const PictureFormat* pictureformat(const std::filesystem::path& path);
// ".png, .bmp, ..." for a message that names the choice.
std::string pictureextensions();

// The encoders beside PNG and BMP. Greys keep their shades where the format has them; a
// one-bit format (PBM, XBM) shows every pixel darker than mid-grey black.
std::vector<std::uint8_t> encodenetpbm(const ScreenPicture& picture, char kind);  // '4' PBM, '5' PGM, '6' PPM
std::vector<std::uint8_t> encodexbm(const ScreenPicture& picture);
std::vector<std::uint8_t> encodexpm(const ScreenPicture& picture);
std::optional<std::vector<std::uint8_t>> encodejpeg(const ScreenPicture& picture, std::string* error);

} // namespace tessaly
