#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/tifile.h"
#include "link/link.h"
#include "link/progress.h"
#include "transfers/overwrite.h"

namespace tessaly {

inline constexpr std::string_view kSendingText = "Sending ";
inline constexpr std::string_view kVariablesSentText = " variable(s) was sent";
inline constexpr std::string_view kNoDataRequestText = "Did not got datarequest";
inline constexpr std::string_view kNoDataAckText = "Did not got the data ACK";
inline constexpr std::string_view kLockedHintText = "Check if you are trying to overwrite a locked variable!";
inline constexpr std::string_view kHomeHintText = "Go to home screen! (<> Q)";
inline constexpr std::string_view kNotSentText = "Variable(s) not sent: ";
inline constexpr std::string_view kConvertFirstText = "Please convert the text-file first!";
inline constexpr std::string_view kCannotHandleText = "This verison cannot handle the 92@-type or 92b-files.";
inline constexpr std::string_view kCannotHandle92AtText = "This verison cannot handle the 92@-type.";
inline constexpr std::string_view kNotTi92FileText = " is not a TI-92 file.";

// What a file is to a send, as its name tells (files/filename.h).
enum class SendKind { Text, Backup, Unhandled, Variables };
SendKind sendkind(const std::filesystem::path& path);
// Whether every variable file among the paths reads whole (checkvariablefile); else the
// link fails with the first one's reason, before anything is sent.
bool variablefilesread(Link& link, const std::vector<std::filesystem::path>& paths);

// Why a file cannot be sent as variables (cannot be opened, shorter than its table, not
// a TI-92 file); empty when it can.
std::string checkvariablefile(const std::filesystem::path& path);

inline constexpr std::string_view kOtherModelRefusedText = "It was not sent.";

// Opens a variable file for sending: read, checked against its table and its signature
// (any model's).
bool openchecked(TiFileReader& reader, const std::filesystem::path& path, std::string* error);

// "FILE was made for the TI-89, and the calculator is a TI-92 Plus."
std::string othermodeltext(const std::filesystem::path& path, const CalculatorModel& file,
                           const CalculatorModel& calculator);
// Whether a file made for model `file` goes to the calculator on the link: at once when
// it is that model's (a ready check first when no calculator answered yet), else when
// the link's other-model question says so. False, the link failed with why, otherwise.
bool fitsmodel(Link& link, const std::filesystem::path& path, const CalculatorModel& file);

// What a send brought: full names as sent, and those the calculator would not take.
struct SendResult {
    std::vector<std::string> sent;
    std::vector<std::string> notsent;
};

// Sends the variables of a TI-92 file, each in its ten-packet exchange; selected(i) tells
// whether the variable with selection index i goes (empty: all). The file is read and
// checked before anything is sent: a file that cannot be opened, is shorter than its
// table or is not a TI-92 file fails the link with why. A variable the calculator
// refuses is named in the result and, once the rest is sent, in the pending error text.
// Raises the link-ok flag first, so one failed file does not stop the next. With a plan,
// the names it skips are left out and those it renames go under their new name.
SendResult sendvariables(Link& link, Progress& progress, const std::filesystem::path& path,
                         const std::function<bool(std::size_t)>& selected = {}, const SendPlan* plan = nullptr);

// A FARGO library a program needs, and where it was found (the browser folder before the
// library folder; the library folder's path when neither holds it).
struct Library {
    std::string name;
    std::filesystem::path path;
};
std::vector<Library> librarylist(const std::filesystem::path& program, const std::filesystem::path& browserfolder,
                                 const std::filesystem::path& libraryfolder);
// Sends each library that exists and warns about each one that does not.
void sendlibraries(Link& link, Progress& progress, const std::vector<Library>& libraries, const std::string& program);

// The decisions sending files leaves to its user: the window asks the user,
// the CLI answers from its options.
enum class CopyChoice { Copy, NoCopy, Cancel };
class SendQuestions {
public:
    virtual ~SendQuestions() = default;
    // Before count files are sent: save a copy of each first? Cancel sends nothing.
    virtual CopyChoice savecopies(std::size_t count) = 0;
    // Where the copy of a file goes: suggested is its name in the browser folder,
    // extension its own (upper case, no dot). nullopt stops the whole send.
    virtual std::optional<std::filesystem::path> copydestination(const std::filesystem::path& suggested,
                                                                 const std::string& extension) = 0;
    // Send the FARGO libraries the program (its file name) needs too? No ends the send.
    virtual bool sendlibraries(const std::string& program) = 0;
};

struct SendPlaces {
    std::filesystem::path browserfolder;  // the file browser's folder
    std::filesystem::path libraryfolder;  // the FARGO library folder of the settings
    const SendPlan* plan = nullptr;       // what becomes of names the calculator holds
};

// Dropped files and a file named on the command line: the copy question, then each file
// sent with its libraries (asked for, or with install sent without asking). Nothing is
// asked when ask is null. True when the application is to quit afterwards (install).
bool sendfilelist(Link& link, Progress& progress, const std::vector<std::filesystem::path>& paths, SendQuestions* ask,
                  bool install, const SendPlaces& places);

// The Send and Install buttons: every selected file of the browser folder, backups
// restored, variable files sent (with install, each followed by its libraries). False,
// with nothing done, when no file is named: the caller says so.
[[nodiscard]] bool sendselectedfiles(Link& link, Progress& progress, const std::vector<std::string>& names, bool install,
                                     const SendPlaces& places);

} // namespace tessaly
