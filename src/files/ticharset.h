#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The calculator's own character set: one byte per character, ASCII in 0x20-0x7E, Greek
// letters, mathematical signs and Latin-1 letters above. Names and descriptions in TI-92
// files are in it; the computer shows and takes UTF-8.

// UTF-8 helpers: the next code point from at (moved past it; nullopt for a malformed
// sequence), one code point appended, and whether the whole text is well-formed.
std::optional<char32_t> nextcodepoint(std::string_view text, std::size_t& at);
void appendutf8(std::string& out, char32_t c);
bool isutf8(std::string_view text);

// TI-92 bytes as UTF-8 text, up to the end of the bytes (a 0x00 byte is kept as U+0000).
std::string tibytes_to_utf8(std::string_view bytes);

// UTF-8 text as TI-92 bytes, at most maxchars characters (the rest is cut, and *cut says
// whether anything was). nullopt and a message naming the character when one has no
// TI-92 byte or the text is not UTF-8; characters past maxchars are not looked at.
std::optional<std::string> utf8_to_tibytes(std::string_view text, std::size_t maxchars, std::string* error,
                                           bool* cut = nullptr);

} // namespace tessaly
