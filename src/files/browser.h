#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the file browser ("Open variables") lists: the folder's files that match the mask,
// each with its description and icon, and the rules its buttons follow. Free of widgets,
// so the window and the command line show the same rows.
namespace tessaly {

inline constexpr std::string_view kTextPattern = "*.txt;";
// The TI-92's files, then the later models' beside them.
inline constexpr std::string_view kTiPattern = "*.92*;*.9x*;*.v2*;*.89*;";
inline constexpr std::string_view kNotShowingText = "Not showing!";
inline constexpr std::string_view kFargoLibraryText = "(FARGO Library)";
inline constexpr std::string_view kFargoSuffix = " - (FARGO)";
inline constexpr std::size_t kDescriptionLength = 34;

// Index into the page's small pictures.
enum class BrowserIcon {
    Plain = 0,
    FargoLibrary = 1,
    FargoProgram = 2,
    Program = 3,
    Text = 4,
    TextVariable = 5,
    Group = 6,
    Flash = 7,
};
inline constexpr int kBrowserIconCount = 8;

struct BrowserRow {
    std::string name;         // the file name in the folder (the row's caption)
    std::string description;  // TI-92 bytes for TI-92 files, the file's own bytes for text files
    BrowserIcon icon = BrowserIcon::Plain;
    bool damaged = false;     // too short, unreadable or not a TI-92 or Flash file; description says why
    bool othermodel = false;  // damaged in that it is signed for another calculator model
};

// The mask the TXT-files and TI92-files boxes make: "*.txt;" then kTiPattern.
std::string browsermask(bool textfiles, bool tifiles);
// Whether a file name matches a mask of ";"-separated patterns with "*" and "?", without
// regard to case (GAME.92P matches "*.92*"). An empty mask matches nothing.
bool maskmatches(std::string_view mask, std::string_view name);

// The names of the folder's plain files (regular files, links to them included; hidden
// dot-files left out) that match the mask, sorted by name without regard to case. A
// folder that cannot be read gives no names and the reason.
std::vector<std::string> listfolder(const std::filesystem::path& folder, std::string_view mask, std::string* error);

// The picture a file's name promises (every model's groups, texts, programs and Flash files); the row
// has it until the file's contents say otherwise.
BrowserIcon nameicon(std::string_view name);

// The row of one file; descriptions off gives "Not showing!" and the plain icon without
// opening the file. A "92@" name gives nullopt: it is never listed.
std::optional<BrowserRow> browserrow(const std::filesystem::path& folder, const std::string& name, bool descriptions);
std::vector<BrowserRow> browserrows(const std::filesystem::path& folder, const std::vector<std::string>& names,
                                    bool descriptions);

// Companion files beside a TI-92 file base.ext: base.bmp and base.txt, base being the
// name up to its first dot. Found without regard to case (PROG.BMP beside prog.92p).
struct Companions {
    std::optional<std::filesystem::path> screenshot;
    std::optional<std::filesystem::path> text;
};
Companions findcompanions(const std::filesystem::path& folder, const std::string& name);

// The variable list's rules: Sel. only with a variable selected (else All goes down), and
// View text for exactly one selected row of type "text".
struct VariableSelection {
    bool selenabled = false;
    bool forceall = false;
    bool viewtext = false;
};
VariableSelection variableselection(const std::vector<std::string>& selectedtypes);

// The description editor edits only a file that reads whole as a TI-92 file: one whose
// table fits its length, with format byte 0x01, not signed for another model. False and
// why ("Corrupted TI-file: ...", "not a TI-92 file: ...", or why it cannot be read).
bool describable(const std::filesystem::path& path, std::string* why);

// The description editor's write: the comment field (bytes 18 to 51) becomes the
// description (TI-92 bytes, cut to 34, zero-padded); every other byte stays, the default
// folder at 10 to 17 among them. Written to a temporary file and renamed over the
// original, so a refusal or a failure leaves the file as it was, and error says why.
enum class DescriptionWrite { Written, Refused, Failed };
DescriptionWrite writedescription(const std::filesystem::path& path, std::string_view description, std::string* error);

} // namespace tessaly
