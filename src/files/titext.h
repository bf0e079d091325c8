#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"
#include "link/progress.h"

// TI-92 text variables (type 0x0B): plain text to a variable's content and back, the
// package store staged with one text, and the text variables read out of TI-92 files.
namespace tessaly {

inline constexpr std::uint8_t kTextType = 0x0B;
inline constexpr std::uint8_t kLineCommand = 0x20;  // every line's command byte as we write it
inline constexpr std::uint8_t kTextEndMark = 0xE0;
inline constexpr std::size_t kMaxTextContent = 0xFFFF;  // L must fit the calculator's size word

// The variable name for a file name: up to the first dot, cut to 8 characters, case kept.
std::string textvariablename(std::string_view filename);
inline constexpr std::string_view kNoVariableName = "The file name starts with a dot, so the text would have no variable name.";

// A text variable's content L from TI-92 bytes: 00 01, the command byte 0x20, then every
// byte from 31 up copied, each 0x0D followed by 0x20, all other bytes dropped; 00 E0.
std::string textcontent(std::string_view tibytes);

// The lines of a text variable from its S stored bytes (length word and content): the
// lead-in skipped, S - 5 bytes read, 0x0D ends a line, bytes below 31 dropped. Each line
// keeps its command byte as a leading space. S below 6 gives one empty line.
std::vector<std::string> textlines(std::span<const std::uint8_t> stored);

// A line as the user reads and edits it: without the leading command byte 0x20, which
// textcontent puts back in front of every line.
std::string_view linetext(std::string_view line);

// A text file's bytes as UTF-8: kept when they are UTF-8, else read as Latin-1 (with the
// calculator's own characters in 0x80-0x9F, where Latin-1 has only control codes). A
// byte-order mark is dropped; one of UTF-16 has the text read as UTF-16.
std::string decodetext(std::string_view text);

// Text as the computer keeps it (UTF-8; not valid UTF-8 is read as Latin-1, so text files
// written by earlier versions still read) to TI-92 bytes: LF, CRLF and CR all end a line
// (as 0x0D), other control characters are dropped. nullopt and a message naming the
// first character the calculator cannot hold in a text, or saying that the bytes are no
// text at all (a TI-92 file, anything holding a NUL byte).
std::optional<std::string> texttotibytes(std::string_view text, std::string* error);

// Lines of TI-92 bytes as UTF-8 text, each line ended by LF.
std::string linestoutf8(const std::vector<std::string>& lines);

// Whether the text's content fits the calculator's size word; false and why otherwise.
bool textfits(std::string_view tibytes, std::string* error);

// Writes the package store afresh with exactly one text variable named name (TI-92
// bytes): four zero bytes, the big-endian length, the content. The gauge follows the
// bytes converted. The store is replaced only when the text was staged whole; a text too
// long for a variable changes nothing. False and the reason otherwise.
bool stagetext(const PackageStore& store, std::string_view name, std::string_view tibytes, Progress& progress,
               std::string* error);

// No text variable comes from a file longer than this, even with every line end doubled
// and every character in three bytes of UTF-8; a longer one is refused before it is read.
inline constexpr std::uintmax_t kMaxTextFile = 4u << 20;

// Reads a text file whole (a regular file only; a FIFO or folder is refused, and so is a
// file longer than limit).
std::optional<std::string> readtextfile(const std::filesystem::path& path, std::string* error,
                                        std::uintmax_t limit = UINTMAX_MAX);

// What a text view shows: the name label and the lines of the texts found.
struct TextView {
    std::string label;                // prefix + name + " (" + S + ")" of the last chosen variable
    std::vector<std::string> lines;   // TI-92 bytes
    int texts = 0;                    // text variables among the chosen ones
};

// The variables of a TI-92 file whose position k among its variables satisfies chosen
// (nullptr: every text variable): the label names the last chosen one, the lines are those
// of its chosen text variables, one after another. nullopt and the reason for a file that
// cannot be read or is damaged.
std::optional<TextView> extracttexts(const std::filesystem::path& path, const std::function<bool(std::size_t)>& chosen,
                                     std::string* error);

// A text variable of the package store, by its record's position. An empty label means
// the record is not a text (nothing to show).
std::optional<TextView> packagetext(const PackageStore& store, std::size_t row, std::string* error);

} // namespace tessaly
