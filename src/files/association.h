#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The Settings page's extension list as it starts out.
inline constexpr std::string_view kDefaultExtensionList = "92p;92b;92g;92t;";
inline constexpr std::size_t kMaxExtensions = 15;
inline constexpr std::size_t kMaxExtensionLength = 5;  // characters, not bytes

// The desktop's names for what Associate writes.
inline constexpr std::string_view kMimePackageName = "tessaly92.xml";
inline constexpr std::string_view kSendDesktopName = "tessaly92-send.desktop";
inline constexpr std::string_view kMimeTypePrefix = "application/x-tessaly92-";

// The extension list as the box holds it ("92p;92b;"), and the extensions taken from it:
// a ";" is added when the text does not end in one, each piece before a ";" is one
// extension cut to its first five characters, and at most fifteen are taken. Two
// semicolons in a row give an empty extension.
struct ExtensionList {
    std::string text;
    std::vector<std::string> extensions;
};
ExtensionList parseextensions(std::string_view text);

// The MIME type Associate gives an extension: lower case (the desktop matches the
// glob without regard to case), bytes outside a MIME name's letters as "_hh".
std::string mimetypefor(std::string_view extension);

// The shared-mime-info package for the extensions that can be registered; the ones
// that cannot (empty, or holding a glob or path character) are left out. Each type knows
// its model's files by their signature too. takeover: the user's own choice, which wins
// over another program's type for the same extension; the installed package takes the
// default weight instead.
std::string mimepackage(const std::vector<std::string>& extensions, bool takeover = true);

// The program's path as the first word of a desktop entry's Exec line: quoted when it
// holds a blank or another reserved character, "%" doubled, backslashes escaped for both
// the quoting and the key file. Empty when the path cannot be written there at all
// (a line break or another control character).
std::string execword(const std::string& program);

// The "Send to calculator" entry: the program with the file as one argument (%f).
std::string senddesktopentry(const std::string& program, const std::vector<std::string>& extensions);

// Runs a desktop tool (argv[0] looked up on PATH). Returns false and the reason when it
// could not be started or did not end well; notfound tells a missing tool apart.
struct ToolRun {
    bool ok = false;
    bool notfound = false;
    std::string error;
};
using ToolRunner = std::function<ToolRun(const std::vector<std::string>& argv)>;
ToolRun runtool(const std::vector<std::string>& argv);

struct AssociationResult {
    bool ok = false;
    std::string error;                  // why nothing was registered
    std::vector<std::string> warnings;  // registered, but something is worth saying
    std::vector<std::filesystem::path> written;
};

// Registers the extensions with the desktop under datahome ($XDG_DATA_HOME): a MIME type
// per extension in mime/packages, the "Send to calculator" entry for those types in
// applications, then refreshes the desktop's caches with update-mime-database and
// update-desktop-database. Each file is written whole or not at all, and when the second
// cannot be written the first is put back as it was. Running it again with the same list
// writes the same files.
AssociationResult associate(const std::vector<std::string>& extensions, const std::string& program,
                            const std::filesystem::path& datahome, const ToolRunner& run = runtool);

// $XDG_DATA_HOME when it is set to an absolute path, else ~/.local/share.
std::filesystem::path xdgdatahome();

} // namespace tessaly
