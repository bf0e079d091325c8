#include "link/byteorder.h"

namespace tessaly {

std::string wordbytes(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string dwordbytes(std::uint32_t value) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return s;
}

std::string padzero(std::string_view text, std::size_t width) {
    std::string s(text);
    if (s.size() < width) s.resize(width, '\0');
    return s;
}

std::string zstring(std::string_view bytes, std::size_t start, std::size_t count) {
    if (start < 1 || start > bytes.size()) return {};
    std::string_view rest = bytes.substr(start - 1, count);
    return std::string(rest.substr(0, rest.find('\0')));
}

std::string upstring(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = upchar(c);
    return s;
}

std::string lowstring(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = lowchar(c);
    return s;
}

bool sameletters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowchar(a[i]) != lowchar(b[i])) return false;
    return true;
}

std::uint16_t checksum16(std::string_view bytes, std::uint16_t start) {
    std::uint16_t sum = start;
    for (unsigned char c : bytes) sum = static_cast<std::uint16_t>(sum + c);
    return sum;
}

} // namespace tessaly
