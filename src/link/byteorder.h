#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// Byte strings are std::string holding raw bytes, as the packet code builds them.
std::string wordbytes(std::uint16_t value);   // low byte, high byte
std::string dwordbytes(std::uint32_t value);  // least significant byte first
std::string padzero(std::string_view text, std::size_t width);
// Up to count characters from the 1-based position start, ending before the first zero.
std::string zstring(std::string_view bytes, std::size_t start, std::size_t count);
// The one rule of letter case: ASCII letters only. The calculator's own letters (bytes from
// 128 on) and every other byte stay as they are, whatever the locale.
constexpr char upchar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char lowchar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string upstring(std::string_view text);
std::string lowstring(std::string_view text);
// Equal without regard to case.
bool sameletters(std::string_view a, std::string_view b);

// 16-bit sum of bytes.
std::uint16_t checksum16(std::string_view bytes, std::uint16_t start = 0);

} // namespace tessaly
