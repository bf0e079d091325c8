#include "transfers/manage.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "files/ticharset.h"
#include "files/varname.h"
#include "link/packets.h"
#include "transfers/readiness.h"
#include "transfers/remotekeys.h"
#include "transfers/usbvariables.h"

namespace tessaly {

namespace {

constexpr std::string_view kNoKeyAckText = "The calculator did not take a key.";
constexpr std::string_view kNoVersionAckText = "The calculator did not answer the version request.";
constexpr std::string_view kVersionName = "main\\version";

struct Verb {
    ManageAction action;
    std::string_view command;  // as typed on the home screen
    std::string_view done;     // "The calculator did not " + done + name
};
constexpr Verb kVerbs[] = {
    {ManageAction::Delete, "delvar", "delete "},     {ManageAction::NewFolder, "newfold", "make the folder "},
    {ManageAction::Rename, "rename", "rename "},     {ManageAction::Lock, "lock", "lock "},
    {ManageAction::Unlock, "unlock", "unlock "},     {ManageAction::Archive, "archive", "archive "},
    {ManageAction::Unarchive, "unarchiv", "unarchive "},
};
const Verb& verb(ManageAction action) {
    return *std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const Verb& v) { return v.action == action; });
}

std::string shown(const std::string& name) { return tibytes_to_utf8(name); }

const ListRow* findrow(const DirectoryListing& listing, const std::string& name) {
    const std::string wanted = lowername(withfolder(name));
    for (const ListRow& row : listing.rows)
        if (lowername(row.caption) == wanted) return &row;
    return nullptr;
}

bool hasfolder(const DirectoryListing& listing, const std::string& folder) {
    const std::string wanted = lowername(folder);
    return std::any_of(listing.folders.begin(), listing.folders.end(),
                       [&](const std::string& f) { return lowername(f) == wanted; });
}

std::string foldername(const std::string& fullname) {
    return splitname(withfolder(fullname)).folder;
}

// Why the listing says the command cannot be carried out on these names; empty when it can.
std::string precheck(ManageAction action, const DirectoryListing& before, const std::vector<std::string>& names) {
    const std::string& name = names[0];
    if (action == ManageAction::NewFolder)
        return hasfolder(before, name) ? "The folder " + shown(name) + " is on the calculator already." : "";
    const ListRow* row = findrow(before, name);
    if (!row) return shown(name) + " is not on the calculator.";
    const bool staysput = action == ManageAction::Delete || action == ManageAction::Rename;
    if (staysput && row->locked) return shown(name) + " is locked: unlock it first.";
    if (staysput && row->archived) return shown(name) + " is archived: unarchive it first.";
    if (action != ManageAction::Rename) return {};
    if (findrow(before, names[1])) return shown(names[1]) + " is on the calculator already.";
    if (!hasfolder(before, foldername(names[1])))
        return "The folder " + shown(foldername(names[1])) + " is not on the calculator.";
    return {};
}

// Whether the listing read afterwards shows the command carried out.
bool carriedout(ManageAction action, const DirectoryListing& after, const std::vector<std::string>& names) {
    const ListRow* row = action == ManageAction::NewFolder ? nullptr : findrow(after, names[0]);
    switch (action) {
    case ManageAction::Delete:
        return !row;
    case ManageAction::NewFolder:
        return hasfolder(after, names[0]);
    case ManageAction::Rename:
        return !row && findrow(after, names[1]);
    case ManageAction::Lock:
    case ManageAction::Unlock:
        return row && row->locked == (action == ManageAction::Lock);
    case ManageAction::Archive:
    case ManageAction::Unarchive:
        return row && row->archived == (action == ManageAction::Archive);
    }
    return false;
}

bool pressed(Link& link, std::uint16_t code) {
    if (code == 0) return true;  // a key the model lacks
    sendpacket(link, CmdKey, code);
    return expectack(link, kNoKeyAckText);
}

bool ready(Link& link) {
    sendready(link);
    return expectack(link, kNoAckText);
}

// The units of work: one name, or for Rename the pair.
std::vector<std::vector<std::string>> targets(ManageAction action, const std::vector<std::string>& names) {
    std::vector<std::vector<std::string>> out;
    if (action == ManageAction::Rename) {
        if (names.size() == 2) out.push_back(names);
        return out;
    }
    for (const std::string& n : names) out.push_back({n});
    return out;
}

// One command on its way: typed, by the delete packet where the model has one, or by the USB port's own packets. A
// delete the calculator refuses is a refusal like the others, its reason kept, and the
// rest goes on (false); nullopt once the link is down.
std::optional<bool> carryout(Link& link, Progress& progress, ManageAction action, const std::vector<std::string>& t,
                             const DirectoryListing& before, std::vector<std::string>& refused) {
    if (link.directusb()) return usbmanage(link, progress, action, t, before, refused);
    TransferState& s = link.state();
    const std::string line = commandline(action, t);
    if (action != ManageAction::Delete || !link.model().hasdeletecommand) {
        progress.setstatus("Typing " + shown(line) + "..");
        return typehomeline(link, line) ? std::optional<bool>(true) : std::nullopt;
    }
    if (deletebypacket(link, progress, withfolder(t[0]))) return true;
    if (cancelled(s)) return std::nullopt;
    refused.push_back(std::exchange(s.pendingerror, std::string()));
    s.linkok = true;
    return false;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += (text.empty() ? "" : "\n") + l;
    return text;
}

} // namespace

std::string commandline(ManageAction action, const std::vector<std::string>& names) {
    std::string line(verb(action).command);
    line += ' ';
    for (std::size_t i = 0; i < names.size(); ++i) line.append(i ? "," : "").append(lowername(names[i]));
    return line;
}

bool typehomeline(Link& link, std::string_view line) {
    const CalculatorModel& m = link.model();
    if (!ready(link) || !ready(link)) return false;
    // Whatever the calculator shows, these bring it to an empty home screen.
    for (const char* k : {"ON", "ESC", "ESC", "ESC", "ESC", "QUIT", "QUIT", "HOME", "CLEAR", "CLEAR", "CLEAR"})
        if (!pressed(link, m.key(k))) return false;
    if (!ready(link)) return false;
    // A ready check after each word and each blank, as the calculator's own software types.
    for (std::size_t i = 0; i < line.size();) {
        std::size_t end = line[i] == ' ' ? i + 1 : std::min(line.find(' ', i), line.size());
        for (; i < end; ++i)
            if (!pressed(link, charkeycode(static_cast<unsigned char>(line[i])))) return false;
        if (!ready(link)) return false;
    }
    return pressed(link, m.key("ENTER")) && ready(link) && pressed(link, m.key("CLEAR"));
}

std::string checknames(ManageAction action, const std::vector<std::string>& names) {
    if (names.empty() || (action == ManageAction::Rename && names.size() != 2))
        return action == ManageAction::Rename ? "rename takes a name and a new name" : "no name given";
    for (const std::string& name : names) {
        const std::string full = action == ManageAction::NewFolder ? name + "\\x" : withfolder(name);
        const VariablePath path = splitname(full);
        if (!validvarname(path.folder) || !validvarname(path.name))
            return shown(name) + " is not a name the calculator takes (1 to 8 letters, digits or _, a letter first)";
    }
    return {};
}

ManageOutcome managecalc(Link& link, Progress& progress, ManageAction action, const std::vector<std::string>& names,
                         const DirectoryListing* current) {
    ManageOutcome out;
    TransferState& s = link.state();
    const bool archive = action == ManageAction::Archive || action == ManageAction::Unarchive;
    const std::string bad = checknames(action, names);
    if (!bad.empty()) {
        link.faillink(bad + ".");
        return out;
    }
    // Whether the calculator has an archive is its answer's to tell, not the link's guess.
    DirectoryListing fresh;
    if (!current) fresh = directorylisting(link, progress);
    const DirectoryListing& before = current ? *current : fresh;
    if (!s.linkok || (current && !knowcalculator(link))) return out;
    if (archive && !link.model().hasarchive) {
        link.faillink(kNoArchiveText);
        return out;
    }
    std::vector<std::vector<std::string>> tried;
    for (const std::vector<std::string>& t : targets(action, names)) {
        const std::string why = precheck(action, before, t);
        if (!why.empty()) {
            out.refused.push_back(why);
            continue;
        }
        const std::optional<bool> sent = carryout(link, progress, action, t, before, out.refused);
        if (!sent) return out;
        if (*sent) tried.push_back(t);
    }
    out.after = directorylisting(link, progress);
    if (!s.linkok) return out;
    for (const std::vector<std::string>& t : tried) {
        if (carriedout(action, out.after, t))
            out.done.push_back(t.back());
        else
            out.refused.push_back("The calculator did not " + std::string(verb(action).done) + shown(t[0]) + ".");
    }
    if (!out.refused.empty()) link.faillink(joined(out.refused));
    return out;
}

bool readversion(Link& link, Progress& progress, CalculatorVersion& answer) {
    if (link.model().hasversioncommand) return requestversion(link, progress, answer);
    progress.setstatus("Asking for the version..");
    // Its answer may name a later model, which has a version request of its own.
    const bool answered = ready(link);
    if (answered && link.model().hasversioncommand) return requestversion(link, progress, answer);
    const CalculatorModel& m = link.model();
    // The backup's first block is named by the ROM version: request it, read the
    // header, and abort, which the calculator takes quietly.
    std::vector<std::uint8_t> request(m.header.nameoffset, 0);
    request[m.header.typeoffset] = m.backuptype;
    request[m.header.namelengthoffset] = static_cast<std::uint8_t>(kVersionName.size());
    request.insert(request.end(), kVersionName.begin(), kVersionName.end());
    request.resize(request.size() + m.header.trailingbytes, 0);
    if (answered) sendpacket(link, CmdRequest, request);
    if (!expectack(link, kNoVersionAckText)) return false;
    const Packet header = expectpacket(link, CmdVarHeader);
    if (!link.state().linkok) return false;
    sendpacket(link, CmdChecksumError);
    const std::size_t n = header.data.size() > m.header.namelengthoffset ? header.data[m.header.namelengthoffset] : 0;
    if (header.data.size() < m.header.nameoffset + n) {
        link.faillink("The calculator's answer carries no version.");
        return false;
    }
    answer.model = std::string(m.name);
    answer.version.assign(header.data.begin() + static_cast<std::ptrdiff_t>(m.header.nameoffset),
                          header.data.begin() + static_cast<std::ptrdiff_t>(m.header.nameoffset + n));
    progress.setstatus("ROM version " + answer.version);
    return true;
}

} // namespace tessaly
