#include "transfers/send.h"

#include <system_error>

#include "files/fargo.h"
#include "files/filename.h"
#include "files/safefile.h"
#include "files/tifile.h"
#include "link/byteorder.h"
#include "link/packets.h"
#include "transfers/backup.h"
#include "transfers/session.h"

namespace tessaly {

namespace {

// A library table's names, read from a program file; empty when there is none.
std::vector<std::string> tablenames(const std::filesystem::path& program, bool onlyprograms) {
    std::vector<std::uint8_t> head;
    std::uint64_t length = 0;
    if (!readfilehead(program, head, length, nullptr)) return {};
    if (onlyprograms && fargokind(head) != FargoKind::Program) return {};
    return fargolibraries(head);
}

// Each path is kept whole: cut to a fixed length, as a short-path world could afford, it
// would name a file that is not there, and a library that exists would be reported missing.
std::vector<Library> findlibraries(const std::vector<std::string>& names, const SendPlaces& places) {
    std::vector<Library> out;
    for (const std::string& name : names) {
        std::error_code ec;
        const std::filesystem::path here = places.browserfolder / (name + ".92p");
        out.push_back({name, std::filesystem::exists(here, ec) ? here : places.libraryfolder / (name + ".92p")});
    }
    return out;
}

// The whole file, or nullopt and why.
std::optional<std::string> readwhole(const std::filesystem::path& path, std::string* error) {
    std::FILE* fp = openregular(path, error);
    if (!fp) return std::nullopt;
    std::string bytes;
    if (!readandclose(fp, bytes)) {
        *error = "Cannot read " + path.filename().string();
        return std::nullopt;
    }
    return bytes;
}

bool saveacopy(Progress& progress, SendQuestions& ask, const std::filesystem::path& path, const std::string& extension,
               const SendPlaces& places) {
    const auto chosen = ask.copydestination(places.browserfolder / path.filename(), extension);
    if (!chosen) return false;
    // The one who chose has agreed that a file of that name is replaced. The copy lands
    // whole or not at all, so a failed one leaves that file as it was; a copy that cannot
    // be made is said, not swallowed.
    std::string why;
    const auto bytes = readwhole(path, &why);
    if (!bytes || !savewhole(*chosen, *bytes, &why))
        progress.tell(News::Warning, "No copy was saved as " + chosen->string() + ": " + why + ".");
    return true;
}

} // namespace

SendKind sendkind(const std::filesystem::path& path) {
    const FileName f = readfilename(path.filename().string());
    if (f.kind == FileKind::Text) return SendKind::Text;
    if (f.kind == FileKind::Flash) return SendKind::Flash;
    if (f.memorybackup) return SendKind::Backup;
    if (f.unhandled || f.kind == FileKind::Uue) return SendKind::Unhandled;
    return SendKind::Variables;
}

FlashSendResult sendflashpath(Link& link, Progress& progress, const std::filesystem::path& path, FlashQuestions* ask) {
    std::string error;
    const std::optional<FlashFile> file = readflashfile(path, &error);
    if (!file) {
        link.faillink(error + " Nothing was sent.");
        return {};
    }
    // Nobody to agree to a new system: the answer is no, said as its own reason.
    class Refuse final : public FlashQuestions {
    public:
        bool replacesystem(const FlashPart&, const CalculatorModel&) override {
            asked = true;
            return false;
        }
        bool asked = false;
    } refuse;
    const FlashSendResult result = sendflashfile(link, progress, *file, ask ? *ask : refuse);
    if (refuse.asked) link.state().pendingerror = path.filename().string() + std::string(kSystemNotAskedText);
    return result;
}

bool variablefilesread(Link& link, const std::vector<std::filesystem::path>& paths) {
    for (const std::filesystem::path& path : paths) {
        if (sendkind(path) != SendKind::Variables) continue;
        if (const std::string why = checkvariablefile(path); !why.empty()) {
            link.faillink(why + " Nothing was sent.");
            return false;
        }
    }
    return true;
}

namespace {

// The variable files among the items, each file once; a file that cannot be read is
// passed by for the send to refuse.
std::vector<SendItem> variablefiles(const std::vector<SendItem>& items) {
    std::vector<SendItem> out;
    for (const SendItem& item : items)
        if (sendkind(item.path) == SendKind::Variables && checkvariablefile(item.path).empty()) out.push_back(item);
    return out;
}

// A file of another model than the calculator's: agreed to, or left out.
void askmodel(Link& link, const std::filesystem::path& path, PlanQuestions& ask, SendPlan& plan) {
    const auto file = readtifile(path, nullptr);
    if (!file || file->model->signature == link.model().signature) return;
    (ask.sendanyway({path, file->model, &link.model()}) ? plan.anymodel : plan.leftout).push_back(path);
}

} // namespace

std::optional<SendPlan> plansend(Link& link, Progress& progress, const std::vector<SendItem>& items, PlanQuestions& ask) {
    SendPlan plan;
    const std::vector<SendItem> files = variablefiles(items);
    std::vector<std::string> outgoing;
    for (const SendItem& item : files)
        for (const std::string& n : outgoingnames(item.path, item.selected)) outgoing.push_back(n);
    if (outgoing.empty()) return plan;
    // The listing's answer tells the calculator's model, so the model is asked about first.
    const DirectoryListing listing = directorylisting(link, progress);
    if (listing.answered) ask.listed(listing);
    if (!link.state().linkok) return std::nullopt;
    outgoing.clear();
    for (const SendItem& item : files) {
        askmodel(link, item.path, ask, plan);
        if (!plan.leavesout(item.path))
            for (const std::string& n : outgoingnames(item.path, item.selected)) outgoing.push_back(n);
    }
    std::optional<SendPlan> names = planoverwrites(findclashes(outgoing, listing), ask);
    if (!names) {
        progress.setstatus(kNothingSentText);
        return std::nullopt;
    }
    names->anymodel = std::move(plan.anymodel);
    names->leftout = std::move(plan.leftout);
    return names;
}

SendResult sendplanned(Link& link, Progress& progress, const SendItem& item, PlanQuestions* ask) {
    std::optional<SendPlan> plan = SendPlan{};
    if (ask) plan = plansend(link, progress, {item}, *ask);
    if (!plan) return {};
    return sendvariables(link, progress, item.path, item.selected, &*plan);
}

std::vector<Library> librarylist(const std::filesystem::path& program, const std::filesystem::path& browserfolder,
                                 const std::filesystem::path& libraryfolder) {
    return findlibraries(tablenames(program, false), SendPlaces{browserfolder, libraryfolder});
}

void sendlibraries(Link& link, Progress& progress, const std::vector<Library>& libraries, const std::string& program) {
    for (const Library& lib : libraries) {
        // A library the user would not send to this calculator ends the rest, which would
        // only be asked about in vain.
        if (cancelled(link.state())) return;
        std::error_code ec;
        if (std::filesystem::exists(lib.path, ec))
            sendvariables(link, progress, lib.path);
        else
            progress.tell(News::Warning, "Cannot find the required library \"" + lib.name +
                                          ".92p\"! You need this file to run " + program + ".");
    }
}

bool sendfilelist(Link& link, Progress& progress, const std::vector<std::filesystem::path>& paths, SendQuestions* ask,
                  bool install, const SendPlaces& places) {
    const CopyChoice copy = ask ? ask->savecopies(paths.size()) : CopyChoice::NoCopy;
    if (paths.empty() || copy == CopyChoice::Cancel) return install;

    TransferState& s = link.state();
    TransferSession session(s, progress);
    if (!session) return false;
    if (!variablefilesread(link, paths)) return install;
    std::vector<SendItem> items;
    for (const std::filesystem::path& path : paths) items.push_back({path, {}});
    std::optional<SendPlan> plan = SendPlan{};
    if (places.ask) plan = plansend(link, progress, items, *places.ask);
    if (!plan) return false;
    for (const std::filesystem::path& path : paths) {
        const std::string name = path.filename().string();
        const auto dot = name.rfind('.');
        const std::string extension = dot == std::string::npos ? std::string() : upstring(name.substr(dot + 1));
        if (copy == CopyChoice::Copy && !saveacopy(progress, *ask, path, extension, places)) {
            s.linkok = false;
            return false;
        }
        // A dropped backup is not restored: a drop is no place for the restore question.
        const SendKind kind = sendkind(path);
        if (kind == SendKind::Text) {
            progress.tell(News::Note, kConvertFirstText);
        } else if (kind == SendKind::Flash) {
            sendflashpath(link, progress, path, places.flash);
        } else if (kind != SendKind::Variables) {
            progress.tell(News::Note, kCannotHandleText);
        } else if (!plan->leavesout(path)) {
            sendvariables(link, progress, path, {}, &*plan);
            const std::vector<std::string> names = tablenames(path, true);
            // A program that needs no library is not asked about its libraries: a No to
            // that empty question would end the whole list for nothing.
            if ((ask || install) && !names.empty() && s.linkok) {
                if (ask && !install && !ask->sendlibraries(name)) return false;
                sendlibraries(link, progress, findlibraries(names, places), path.string());
            }
        }
        if (!s.linkok) break;
    }
    return install;
}

bool sendselectedfiles(Link& link, Progress& progress, const std::vector<std::string>& names, bool install,
                       const SendPlaces& places) {
    TransferState& s = link.state();
    if (names.empty()) return false;
    std::vector<SendItem> items;
    std::vector<std::filesystem::path> paths;
    for (const std::string& name : names) {
        items.push_back({places.browserfolder / name, {}});
        paths.push_back(places.browserfolder / name);
    }
    if (!variablefilesread(link, paths)) return true;
    std::optional<SendPlan> plan = SendPlan{};
    if (places.ask) plan = plansend(link, progress, items, *places.ask);
    if (!plan) return true;
    for (const std::string& name : names) {
        const std::filesystem::path path = places.browserfolder / name;
        switch (sendkind(path)) {
        case SendKind::Text: progress.tell(News::Note, kConvertFirstText); break;
        case SendKind::Backup: sendbackup(link, progress, path); break;
        case SendKind::Unhandled: progress.tell(News::Note, kCannotHandleText); break;
        case SendKind::Flash: sendflashpath(link, progress, path, places.flash); break;
        case SendKind::Variables:
            sendvariables(link, progress, path, {}, &*plan);
            if (install && s.linkok && !plan->leavesout(path))
                sendlibraries(link, progress, findlibraries(tablenames(path, false), places), name);
            break;
        }
        if (!s.linkok) break;
    }
    return true;
}

} // namespace tessaly
