#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/progress.h"
#include "transfers/directory.h"
#include "transfers/flash.h"
#include "transfers/overwrite.h"
#include "transfers/variablesend.h"

namespace tessaly {

inline constexpr std::string_view kConvertFirstText = "Please convert the text-file first!";
inline constexpr std::string_view kCannotHandleText = "This verison cannot handle the 92@-type or 92b-files.";
inline constexpr std::string_view kCannotHandle92AtText = "This verison cannot handle the 92@-type.";
inline constexpr std::string_view kNothingSentText = "Nothing sent.";

// What a file is to a send, as its name tells (files/filename.h).
enum class SendKind { Text, Backup, Unhandled, Variables, Flash };
SendKind sendkind(const std::filesystem::path& path);

// A Flash file (an application, a system, a certificate) read and sent through
// sendflashfile. Without ask (nullptr) a system is refused, naming why; an unreadable or
// damaged file fails the link before a byte goes.
FlashSendResult sendflashpath(Link& link, Progress& progress, const std::filesystem::path& path, FlashQuestions* ask);
inline constexpr std::string_view kSystemNotAskedText = " holds a system, which replaces the calculator's: it goes only when that was asked for. Nothing was sent.";
// Whether every variable file among the paths reads whole (checkvariablefile); else the
// link fails with the first one's reason, before anything is sent.
bool variablefilesread(Link& link, const std::vector<std::filesystem::path>& paths);

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

// The questions of a send's plan, asked before anything goes: first each file made for
// another model than the calculator's, then each name the calculator holds already.
class PlanQuestions : public OtherModelQuestion, public OverwriteQuestions {
public:
    // The calculator's listing the plan was made from, for a window to show.
    virtual void listed(const DirectoryListing&) {}
};

// A file to send and which of its variables go (by selection index; empty: all).
struct SendItem {
    std::filesystem::path path;
    std::function<bool(std::size_t)> selected;
};

// The plan of a send, inside the caller's transfer: the calculator's listing read (its
// answer tells the model), each variable file of another model asked about (No leaves
// it out), then each name the calculator holds asked about. Files that are not readable variable files are
// passed by (the send refuses them). nullopt when nothing is to be sent: cancelled
// ("Nothing sent."), or the ready check or listing failed (the reason pending).
std::optional<SendPlan> plansend(Link& link, Progress& progress, const std::vector<SendItem>& items, PlanQuestions& ask);

// plansend with ask (without it: the file's own model only, names overwritten), then the
// file's variables sent as planned.
SendResult sendplanned(Link& link, Progress& progress, const SendItem& item, PlanQuestions* ask);

struct SendPlaces {
    std::filesystem::path browserfolder;  // the file browser's folder
    std::filesystem::path libraryfolder;  // the FARGO library folder of the settings
    // Who answers the plan's questions; none: a file of another model is refused and the
    // names the calculator holds are overwritten.
    PlanQuestions* ask = nullptr;
    // Who agrees to a system replacing the calculator's; none: a system file is refused.
    FlashQuestions* flash = nullptr;
};

// Dropped files and a file named on the command line: the copy question, then in one
// transfer session the plan and each file sent with its libraries (asked for, or with
// install sent without asking). The copy and library questions are not asked when ask is
// null. True when the application is to quit afterwards (install).
bool sendfilelist(Link& link, Progress& progress, const std::vector<std::filesystem::path>& paths, SendQuestions* ask,
                  bool install, const SendPlaces& places);

// The Send and Install buttons, inside the caller's transfer: the plan, then every
// selected file of the browser folder, backups restored, variable files sent (with
// install, each followed by its libraries). False, with nothing done, when no file is
// named: the caller says so.
[[nodiscard]] bool sendselectedfiles(Link& link, Progress& progress, const std::vector<std::string>& names, bool install,
                                     const SendPlaces& places);

} // namespace tessaly
