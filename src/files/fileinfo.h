#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/fargo.h"
#include "files/tifile.h"

namespace tessaly {

inline constexpr std::string_view kCorruptedText = "Corrupted TI-file";
inline constexpr std::string_view kOtherModelText = "Made for another model";
inline constexpr std::string_view kUueText = "UUE-Encoded";
inline constexpr std::string_view kClickToEdit = "Click to edit!";
inline constexpr std::size_t kVariableCaptionWidth = 16;
inline constexpr std::size_t kTextPreviewLength = 40;

// One row of the variable list (contentlist): folder prefix + name, and the type name.
struct VariableRow {
    std::string caption;
    std::string type;
    std::string_view attribute;  // "locked", "archived" or empty
};
std::vector<VariableRow> variablerows(const TiFile& file);

enum class FileKind { TiFile, Text, Uue };
// Told by the last three characters of the name, upper-cased.
FileKind filekind(const std::filesystem::path& path);

// What the information row under the file list shows for a selected file, and which
// controls it switches.
struct FileInfo {
    std::string count;        // countlabel
    std::string size;         // sizelabel
    std::string description;  // descriptionlabel
    std::string hint;         // descriptionlabel's hint (text files)
    bool readable = false;    // a TI-92 file whose variables can be listed and sent (Send)
    bool editable = false;    // descriptionlabel starts the description editor
    bool fargoprogram = false;  // Install
    bool textfile = false;      // Txt-convert
    std::string error;        // why a TI-92 file is unreadable; empty otherwise
    std::string othermodel;   // the signature of a file made for a calculator we do not talk to
    const CalculatorModel* model = nullptr;  // whom a readable file was made for
    std::vector<VariableRow> rows;
};

// A TI-92 file, from its first bytes (at least header and table) and its real length.
// A format byte other than 0x01 and a damaged table both give "Corrupted TI-file", the
// dashes and no rows; error then says what is wrong. A file signed for another model
// reads the same way, described as made for another model (othermodeldescription).
FileInfo tifileinfo(std::span<const std::uint8_t> head, std::uint64_t length);
// The signature of a file made for a calculator model we do not talk to ("**TI83F*"
// and the like: "**TI" and none of our models' signatures); empty for a file of one of
// ours and for a file that bears no calculator signature at all.
std::string othermodelsignature(std::span<const std::uint8_t> head);
// What the file browser shows as such a file's description: "Made for another model
// (**TI89**)".
std::string othermodeldescription(const std::string& signature);
// Why a TI-92 file of that information is not one to change or send: "Corrupted TI-file:
// ..." or "not a TI-92 file: it is signed ..."; empty for a file that reads whole.
std::string tifileproblem(const FileInfo& info);

// A file on disk, by its kind: a TI-92 file, a text file (its first 40 bytes) or a
// UU-encoded file. A file that cannot be opened reads as unreadable with the reason.
FileInfo readfileinfo(const std::filesystem::path& path);

} // namespace tessaly
