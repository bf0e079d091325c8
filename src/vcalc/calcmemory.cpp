#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "files/varname.h"
#include "link/packets.h"
#include "vcalc/exchanges.h"
#include "vcalc/vcalc.h"

namespace tessaly {

CalcFolder* CalcMemory::folder(const std::string& name) {
    for (auto& f : folders)
        if (f.name == name) return &f;
    return nullptr;
}

CalcVariable* CalcMemory::find(const std::string& fullname) {
    const VariablePath path = splitname(withfolder(fullname));
    CalcFolder* f = folder(path.folder);
    if (!f) return nullptr;
    const std::string& name = path.name;
    for (auto& v : f->variables)
        if (v.name == name) return &v;
    return nullptr;
}

std::size_t CalcMemory::usedbytes() const {
    std::size_t n = 0;
    for (const auto& f : folders)
        for (const auto& v : f.variables) n += v.data.size();
    return n;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hexbytes(std::string_view hex) {
    Bytes out;
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
    return out;
}

// Prepends the calculator's big-endian size word to a content.
Bytes stored(Bytes content) {
    const auto n = content.size();
    content.insert(content.begin(), {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n & 0xFF)});
    return content;
}

void append(Bytes& to, std::string_view text) { to.insert(to.end(), text.begin(), text.end()); }

// A text variable: cursor word 00 01, each line opened by its command byte (0x20 is a
// plain line), lines separated by carriage returns, closed by 00 and the text tag E0.
Bytes textcontent(std::initializer_list<std::string_view> lines) {
    Bytes c{0x00, 0x01};
    bool first = true;
    for (auto line : lines) {
        if (!first) c.push_back(0x0D);
        first = false;
        c.push_back(0x20);
        append(c, line);
    }
    c.push_back(0x00);
    c.push_back(0xE0);
    return c;
}

void putbe16(Bytes& c, std::size_t at, std::size_t value) {
    c[at] = static_cast<std::uint8_t>(value >> 8);
    c[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// A FARGO program or library as the kernel expects it: the kind letter in the second
// content byte, the library table position (relative to content offset 1) at content
// offset 6, the description position at content offset 12, both big-endian.
Bytes fargocontent(char kind, std::string_view description, std::initializer_list<std::string_view> libraries) {
    Bytes c(14, 0);
    c[1] = static_cast<std::uint8_t>(kind);
    c[2] = 0x00; c[3] = 0x01;  // format word
    // A few instructions of code: moveq #0,d0; rts.
    for (std::uint8_t b : {0x70, 0x00, 0x4E, 0x75, 0x4E, 0x71, 0x4E, 0x71}) c.push_back(b);
    putbe16(c, 12, c.size());
    append(c, description);
    c.push_back(0x00);
    if (c.size() % 2) c.push_back(0x00);
    putbe16(c, 6, c.size() - 1);
    c.push_back(static_cast<std::uint8_t>(libraries.size()));
    for (auto lib : libraries) {
        append(c, lib);
        c.push_back(0x00);
    }
    c.push_back(0x00);
    c.push_back(0xF3);  // assembly program tag
    return c;
}

// A 32 x 32 picture of a ring with a cross: rows, columns, bitmap, picture tag DF.
Bytes picturecontent() {
    Bytes c{0x00, 0x20, 0x00, 0x20};
    for (int y = 0; y < 32; ++y) {
        for (int bx = 0; bx < 4; ++bx) {
            std::uint8_t b = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = bx * 8 + bit;
                const int dx = x - 16, dy = y - 16, r2 = dx * dx + dy * dy;
                if ((r2 >= 13 * 13 && r2 <= 15 * 15) || x == 16 || y == 16) b |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            c.push_back(b);
        }
    }
    c.push_back(0xDF);
    return c;
}

CalcVariable var(std::string name, std::uint8_t type, Bytes data, bool locked = false) {
    return CalcVariable{std::move(name), type, std::move(data), locked};
}

// A later model runs no FARGO: its games folder holds a program of its own kind, and
// some variables wait in the archive.
void laterdemo(const CalculatorModel& model, CalcMemory& m) {
    m.folders.pop_back();
    const std::string title = "Virtual " + std::string(model.name) + " demo memory.";
    m.folders.front().variables.front().data =
        stored(textcontent({title, "Folders: main, work, games.", "Some variables are archived."}));
    CalcVariable kept = var("kept", 0x0C, hexbytes("00060078797a002d"));
    kept.archived = true;
    m.folders[1].variables.push_back(kept);
    // An assembly program: size word, a return instruction, its tag.
    CalcVariable hello = var("hello", 0x21, hexbytes("00034e75f3"));
    hello.archived = true;
    m.folders.push_back({"games", {hello, var("ids", 0x22, hexbytes("0004010203f8"))}});
}

} // namespace

void VirtualCalculator::loaddemo() {
    CalcMemory m;
    m.folders.push_back({"main",
                         {
                             var("notes", kTI92.texttype,
                                 stored(textcontent({"Virtual TI-92 demo memory.", "Folders: main, work, games.",
                                                     "Send, receive and back up as you like."}))),
                             // Real calculator encodings of a program, a function and an expression.
                             var("prgm", 0x12, hexbytes("001b28290d5072676d0d0d0d456e645072676d00000819e4e5000008dc")),
                             var("f", 0x13, hexbytes("000ce902011f0893e508000000dc")),
                             var("exp", 0x00, hexbytes("000302011f")),
                             var("secret", 0x0C, hexbytes("000600616263002d"), true),
                         }});
    m.folders.push_back({"work",
                         {
                             var("list", 0x04, hexbytes("0008e502011f01011fd9")),
                             var("mat", 0x06, hexbytes("000ce5e502011fd9e501011fd9d9")),
                             var("str", 0x0C, hexbytes("000600616263002d")),
                             var("data", 0x0A,
                                 hexbytes("001b0402010008e503011f01011fd9020008e504011f02011fd90000dd")),
                             var("ring", 0x10, stored(picturecontent())),
                             var("todo", kTI92.texttype, stored(textcontent({"Buy batteries", "Back up the calculator"}))),
                         }});
    m.folders.push_back({"games",
                         {
                             var("tetris", 0x12,
                                 stored(fargocontent('P', "Falling blocks for FARGO", {"flib", "graphlib"}))),
                             var("flib", 0x12, stored(fargocontent('L', "FARGO function library", {}))),
                         }});
    if (model().hasarchive) laterdemo(model(), m);
    memory() = std::move(m);
    flash().applications.clear();
    if (auto app = demoapplication(model())) flash().applications.push_back(std::move(*app));
}

// Image layout: a 16-byte header (magic, version, offset and length of the variable
// area, big-endian), a system area, then per folder: 1F, name(8), count (big-endian
// word); per variable: name(8), type, attribute, stored bytes; an FF closes the area.
namespace {

constexpr std::string_view kImageMagic = "VTI92MEM";
constexpr std::size_t kSystemArea = 8192;

void putbe32(Bytes& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void putname(Bytes& out, const std::string& name) {
    for (std::size_t i = 0; i < 8; ++i) out.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
}

} // namespace

std::vector<std::uint8_t> backupimage(const CalcMemory& memory) {
    // The magic in 16 bytes, then the system area, which stands for the calculator's own
    // RAM: vectors, stacks, the screen.
    Bytes out(16 + kSystemArea, 0);
    std::copy(kImageMagic.begin(), kImageMagic.end(), out.begin());
    for (std::size_t i = 0; i < 64; ++i) {
        out[16 + i * 4] = 0x00;
        out[16 + i * 4 + 1] = 0x40;
        out[16 + i * 4 + 2] = static_cast<std::uint8_t>(0x10 + i);
        out[16 + i * 4 + 3] = static_cast<std::uint8_t>(i * 6);
    }
    const std::size_t start = out.size();
    for (const auto& f : memory.folders) {
        out.push_back(kTI92.foldertype);
        putname(out, f.name);
        out.push_back(static_cast<std::uint8_t>(f.variables.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(f.variables.size() & 0xFF));
        for (const auto& v : f.variables) {
            putname(out, v.name);
            out.push_back(v.type);
            out.push_back(v.locked ? 1 : 0);
            out.insert(out.end(), v.data.begin(), v.data.end());
        }
    }
    out.push_back(0xFF);
    Bytes header;
    putbe32(header, static_cast<std::uint32_t>(start));
    putbe32(header, static_cast<std::uint32_t>(out.size() - start));
    std::copy(header.begin(), header.end(), out.begin() + 8);
    return out;
}

std::optional<CalcMemory> memoryfromimage(const std::vector<std::uint8_t>& image) {
    if (image.size() < 16 || !std::equal(kImageMagic.begin(), kImageMagic.end(), image.begin())) return std::nullopt;
    auto be32 = [&](std::size_t at) {
        return std::uint32_t{image[at]} << 24 | std::uint32_t{image[at + 1]} << 16 | std::uint32_t{image[at + 2]} << 8 |
               image[at + 3];
    };
    const std::size_t start = be32(8), length = be32(12);
    if (start > image.size() || length > image.size() - start) return std::nullopt;
    const std::size_t end = start + length;
    std::size_t p = start;
    auto name = [&](std::size_t at) {
        std::string n;
        for (std::size_t i = 0; i < 8 && image[at + i]; ++i) n += static_cast<char>(image[at + i]);
        return n;
    };
    CalcMemory m;
    while (p < end && image[p] == kTI92.foldertype) {
        if (end - p < 11) return std::nullopt;
        CalcFolder f{name(p + 1), {}};
        std::size_t count = std::size_t{image[p + 9]} << 8 | image[p + 10];
        p += 11;
        for (; count > 0; --count) {
            if (end - p < 12) return std::nullopt;
            CalcVariable v{name(p), image[p + 8], {}, image[p + 9] != 0};
            const std::size_t size = 2 + (std::size_t{image[p + 10]} << 8 | image[p + 11]);
            p += 10;
            if (end - p < size) return std::nullopt;
            v.data.assign(image.begin() + static_cast<std::ptrdiff_t>(p),
                          image.begin() + static_cast<std::ptrdiff_t>(p + size));
            p += size;
            f.variables.push_back(std::move(v));
        }
        m.folders.push_back(std::move(f));
    }
    if (p >= end || image[p] != 0xFF || m.folders.empty() || m.folders.front().name != "main") return std::nullopt;
    return m;
}

} // namespace tessaly
