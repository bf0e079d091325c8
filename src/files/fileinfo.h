#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/fargo.h"
#include "files/filename.h"
#include "files/flashfile.h"
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

// What the information row under the file list shows for a selected file, and which
// controls it switches.
struct FileInfo {
    // The table's entries, folders among them ("5"), and a single variable's type beside
    // its one ("1  (text)"); "-" for a file without a table.
    std::string entries;
    std::string length;         // the file's length in bytes; "-" where it is not shown
    std::string description;    // a variable file's comment, a text file's first characters
    std::string descriptionhint;  // a text file's first characters and how to edit it
    std::size_t variables = 0;  // of a file that reads whole
    std::size_t folders = 0;
    bool sendable = false;      // a variable file whose variables can be listed and sent
    bool describable = false;   // its description can be edited (damaged variable files too)
    bool fargoprogram = false;  // a FARGO program, which can be installed
    bool textfile = false;      // a text file, which Txt-convert takes
    bool flashfile = false;     // a Flash file whose parts all read
    std::vector<FlashPartHeader> flashparts;
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

// What the browser says of a Flash file, by the part it sends: "TI-89 application demoapp,
// version 1.00, 12 KB". The model is the first the part fits, among those the file name's
// extension names where it names one of them.
std::string flashdescription(const std::vector<FlashPartHeader>& parts, std::string_view filename);
// The models a part is for ("TI-92 Plus or Voyage 200"), or its device type and hardware ID
// where they fit no model.
std::string flashpartmodels(const FlashPart& part);
// A size as a list shows it: "300 bytes", "12 KB", "2.1 MB".
std::string shortsize(std::uint64_t bytes);
// "Damaged Flash file": a Flash file's description when a part does not read.
inline constexpr std::string_view kDamagedFlashText = "Damaged Flash file";

// A file on disk, by its kind: a TI-92 file, a text file (its first 40 bytes) or a
// UU-encoded file, or a Flash file (its parts' headers). A file that cannot be opened reads as unreadable with the reason.
FileInfo readfileinfo(const std::filesystem::path& path);

} // namespace tessaly
