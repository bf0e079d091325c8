#include "files/pictureformats.h"

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "link/byteorder.h"

namespace tessaly {

namespace {

std::uint8_t luminance(const Rgb& c) { return static_cast<std::uint8_t>((c.r * 299 + c.g * 587 + c.b * 114) / 1000); }
bool darkpixel(const ScreenPicture& p, int x, int y) { return luminance(p.colour(x, y)) < 128; }

void append(std::vector<std::uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// Every format is written at the size the calculator shows (a TI-89's 160 x 100), not the bitmap's.
std::string sizetext(const ScreenPicture& p, std::string_view between) {
    return std::to_string(p.width) + std::string(between) + std::to_string(p.height);
}

template <std::vector<std::uint8_t> (*F)(const ScreenPicture&)>
std::optional<std::vector<std::uint8_t>> infallible(const ScreenPicture& p, std::string*) { return F(p); }
template <char Kind>
std::vector<std::uint8_t> netpbm(const ScreenPicture& p) { return encodenetpbm(p, Kind); }

constexpr PictureFormat kFormats[] = {
    {".png", encodepng},
    {".bmp", infallible<encodebmp>},
    {".jpg", encodejpeg},
    {".jpeg", encodejpeg},
    {".ppm", infallible<netpbm<'6'>>},
    {".pgm", infallible<netpbm<'5'>>},
    {".pbm", infallible<netpbm<'4'>>},
    {".xpm", infallible<encodexpm>},
    {".xbm", infallible<encodexbm>},
};

// libjpeg reports a failure by calling error_exit, which must not return.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
void jpegfailed(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

// Kept apart so that nothing with a destructor lives in the frame libjpeg may jump out of.
bool jpegencode(const std::uint8_t* pixels, int width, int height, unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegfailed;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + std::size_t{info.next_scanline} * info.image_width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

const PictureFormat* pictureformat(const std::filesystem::path& path) {
    const std::string ext = lowstring(path.extension().string());
    for (const PictureFormat& f : kFormats)
        if (f.extension == ext) return &f;
    return nullptr;
}

std::string pictureextensions() {
    std::string out;
    for (const PictureFormat& f : kFormats) out += (out.empty() ? "" : ", ") + std::string(f.extension);
    return out;
}

std::vector<std::uint8_t> encodenetpbm(const ScreenPicture& picture, char kind) {
    std::vector<std::uint8_t> out;
    append(out, std::string("P") + kind + "\n" + sizetext(picture, " ") + "\n" + (kind == '4' ? "" : "255\n"));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.colour(x, y);
            if (kind == '6') out.insert(out.end(), {c.r, c.g, c.b});
            else if (kind == '5') out.push_back(luminance(c));
            else if (x % 8 == 0) out.push_back(0);
            if (kind == '4' && darkpixel(picture, x, y)) out.back() |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    return out;
}

std::vector<std::uint8_t> encodexbm(const ScreenPicture& picture) {
    std::vector<std::uint8_t> out;
    append(out, "#define screenshot_width " + std::to_string(picture.width) + "\n#define screenshot_height " +
                    std::to_string(picture.height) + "\nstatic unsigned char screenshot_bits[] = {\n");
    char hex[8];
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; x += 8) {
            unsigned byte = 0;
            for (int bit = 0; bit < 8 && x + bit < picture.width; ++bit)
                if (darkpixel(picture, x + bit, y)) byte |= 1u << bit;  // the leftmost pixel in bit 0
            std::snprintf(hex, sizeof hex, "0x%02x%s", byte, x + 8 < picture.width ? "," : (y + 1 < picture.height ? ",\n" : ""));
            append(out, hex);
        }
    append(out, "};\n");
    return out;
}

std::vector<std::uint8_t> encodexpm(const ScreenPicture& picture) {
    // One character a colour: the picture has at most four.
    std::vector<Rgb> colours;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (std::find(colours.begin(), colours.end(), picture.colour(x, y)) == colours.end())
                colours.push_back(picture.colour(x, y));
    std::vector<std::uint8_t> out;
    append(out, "/* XPM */\nstatic char *screenshot[] = {\n\"" + sizetext(picture, " ") + " " + std::to_string(colours.size()) + " 1\",\n");
    char line[32];
    for (std::size_t i = 0; i < colours.size(); ++i) {
        std::snprintf(line, sizeof line, "\"%c c #%02X%02X%02X\",\n", char('a' + i), colours[i].r, colours[i].g, colours[i].b);
        append(out, line);
    }
    for (int y = 0; y < picture.height; ++y) {
        out.push_back('"');
        for (int x = 0; x < picture.width; ++x)
            out.push_back(static_cast<std::uint8_t>('a' + (std::find(colours.begin(), colours.end(), picture.colour(x, y)) - colours.begin())));
        append(out, y + 1 < picture.height ? "\",\n" : "\"\n");
    }
    append(out, "};\n");
    return out;
}

std::optional<std::vector<std::uint8_t>> encodejpeg(const ScreenPicture& picture, std::string* error) {
    const std::vector<std::uint8_t> pixels = picture.rgb();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = jpegencode(pixels.data(), picture.width, picture.height, &buffer, &size);
    std::optional<std::vector<std::uint8_t>> out;
    if (ok) out.emplace(buffer, buffer + size);
    std::free(buffer);
    if (!ok && error) *error = "Cannot encode the screenshot as JPEG";
    return out;
}

} // namespace tessaly
