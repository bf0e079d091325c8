#include "transfers/send.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "files/fargo.h"
#include "files/filename.h"
#include "files/packagestore.h"
#include "files/safefile.h"
#include "files/ticharset.h"
#include "files/tifile.h"
#include "link/byteorder.h"
#include "link/packets.h"
#include "transfers/backup.h"
#include "transfers/session.h"

namespace tessaly {

namespace {

// The variable header: size (upper 16 bits zero), type, name length, name, laid out as
// the model has it, and the byte a later model's offer ends with.
std::vector<std::uint8_t> variableheader(const HeaderLayout& layout, std::uint32_t size, std::uint8_t type,
                                         const std::string& name) {
    std::vector<std::uint8_t> d(layout.nameoffset, 0);
    d[0] = static_cast<std::uint8_t>(size);
    d[1] = static_cast<std::uint8_t>(size >> 8);
    d[layout.typeoffset] = type;
    d[layout.namelengthoffset] = static_cast<std::uint8_t>(name.size());
    d.insert(d.end(), name.begin(), name.end());
    d.resize(d.size() + layout.trailingbytes, layout.sendtrailing);
    return d;
}

// The calculator's next packet, whatever comes before its machine byte skipped and its
// data read to the end, so a refusal leaves the line quiet for the next exchange.
Packet answer(Link& link) {
    const std::optional<PacketHeader> header = seekheader(link);
    return header ? receivebody(link, *header) : Packet{};
}

// The header's type byte: a variable kept locked or archived in its file is offered so to a
// model that has type bytes for that (the calculator reads its real type from its data).
std::uint8_t offeredtype(const CalculatorModel& model, const TiEntry& entry) {
    if (model.archivedsendtype && model.hasarchive && entry.attribute == model.archivedattribute)
        return model.archivedsendtype;
    if (model.lockedsendtype && entry.attribute == kLockedAttribute) return model.lockedsendtype;
    return entry.type;
}

// Lets window messages through once the header's type byte is out.
class HeaderWatcher final : public PacketWatcher {
public:
    explicit HeaderWatcher(Progress& progress) : m_progress(progress) {}
    void onbyte(std::size_t index, std::uint8_t) override {
        if (index == 4) m_progress.processmessages();
    }

private:
    Progress& m_progress;
};

// The gauge over a variable's S data bytes (after the four zero bytes): range S - 3,
// a step every 2 per cent, window messages at each step.
class DataGauge final : public PacketWatcher {
public:
    DataGauge(Progress& progress, std::size_t size)
        : m_progress(progress), m_step(std::max<std::size_t>(1, (size / 100) * 2)) {
        progress.setgaugemax(static_cast<int>(size) - 3);
        progress.setgaugeposition(0);
    }
    void onbyte(std::size_t index, std::uint8_t) override {
        if (index < 4) return;
        const std::size_t i = index - 3;
        if (m_step > 1 && i % m_step == 1) {
            m_progress.setgaugeposition(static_cast<int>(i));
            m_progress.processmessages();
        }
    }

private:
    Progress& m_progress;
    std::size_t m_step;
};

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
    if (f.memorybackup) return SendKind::Backup;
    if (f.unhandled || f.kind == FileKind::Uue) return SendKind::Unhandled;
    return SendKind::Variables;
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

bool openchecked(TiFileReader& reader, const std::filesystem::path& path, std::string* error) {
    if (!reader.open(path, error)) return false;
    std::uint8_t signature[8] = {};
    if (!reader.read(0, signature) || !modelbysignature({reinterpret_cast<const char*>(signature), 8})) {
        *error = path.filename().string() + std::string(kNotTi92FileText);
        return false;
    }
    return true;
}

std::string othermodeltext(const std::filesystem::path& path, const CalculatorModel& file,
                           const CalculatorModel& calculator) {
    return path.filename().string() + " was made for the " + std::string(file.name) + ", and the calculator is a " +
           std::string(calculator.name) + ".";
}

bool fitsmodel(Link& link, const std::filesystem::path& path, const CalculatorModel& file) {
    // The TI-92 Plus and the Voyage 200 sign their files alike and take each other's.
    auto fits = [&] { return file.signature == link.model().signature; };
    if (fits()) return true;
    // Until a calculator answered, the link's model is only a guess: a ready check asks.
    if (!link.modelknown()) {
        sendready(link);
        if (!expectack(link)) return false;
        if (fits()) return true;
    }
    const std::string text = othermodeltext(path, file, link.model());
    const auto& ask = link.othermodelquestion();
    if (!ask) {
        link.faillink(text + " " + std::string(kOtherModelRefusedText));
        return false;
    }
    if (ask(text)) return true;
    // The user's own No stops the sending as a Cancel does: nothing failed to report.
    link.state().linkok = false;
    return false;
}

std::string checkvariablefile(const std::filesystem::path& path) {
    TiFileReader reader;
    std::string error;
    return openchecked(reader, path, &error) ? std::string() : error;
}

namespace {

// One variable's exchange: the ready check, its header, the calculator's answer (an
// acknowledgement, then a data request or a refusal), its data and the end. False when
// the link went down before the header was out: the whole send then stops at once.
bool sendone(Link& link, Progress& progress, const TiEntry& entry, const std::string& name,
             std::span<const std::uint8_t> data, SendResult& result) {
    TransferState& s = link.state();
    sendready(link);
    expectack(link);
    progress.setstatus(std::string(kSendingText) + tibytes_to_utf8(name) + "..");
    HeaderWatcher watcher(progress);
    const CalculatorModel& model = link.model();
    sendpacket(link, model.offercommand, variableheader(model.header, entry.size, offeredtype(model, entry), name),
               &watcher);
    if (!s.linkok) return false;
    const Packet ack = answer(link);
    const Packet reply = ack.is(CmdAck) || ack.is(CmdDataRequest) ? answer(link) : Packet{};
    if (!ack.is(CmdAck) && !ack.is(CmdDataRequest)) {
        // Not silently skipped: the summary names it.
        if (s.linkok) result.notsent.push_back(name);
    } else if (reply.is(CmdSkip)) {  // a locked variable, or no room for it
        result.notsent.push_back(name);
    } else if (!reply.is(CmdDataRequest)) {
        link.faillink(kNoDataRequestText);
    } else {
        sendack(link);
        DataGauge gauge(progress, entry.size);
        sendpacket(link, CmdData, data, &gauge);
        progress.setgaugeposition(static_cast<int>(entry.size) - 3);
        if (!waitack(link)) {
            link.faillink(kNoDataAckText);
            return true;
        }
        sendpacket(link, CmdEnd);
        const bool acknowledged = waitack(link);
        result.sent.push_back(name);
        if (acknowledged) progress.setstatus(std::to_string(result.sent.size()) + std::string(kVariablesSentText));
    }
    return true;
}

// What the status line and the pending error say once every variable was tried.
void sendsummary(Link& link, Progress& progress, const SendResult& result) {
    TransferState& s = link.state();
    if (s.linkok && !result.notsent.empty()) {
        std::string names;
        for (const std::string& n : result.notsent) names += (names.empty() ? "" : ", ") + tibytes_to_utf8(n);
        link.faillink(std::string(kNotSentText) + names);
    }
    if (s.linkok) {
        progress.setstatus(std::to_string(result.sent.size()) + std::string(kVariablesSentText));
    } else if (!cancelled(s)) {
        s.pendingerror += "\r" + std::string(kLockedHintText) + "\r" + std::string(kHomeHintText);
        progress.setstatus(s.pendingerror);
    }
}

} // namespace

SendResult sendvariables(Link& link, Progress& progress, const std::filesystem::path& path,
                         const std::function<bool(std::size_t)>& selected, const SendPlan* plan) {
    SendResult result;
    link.state().linkok = true;

    TiFileReader reader;
    std::string error;
    if (!openchecked(reader, path, &error)) {
        link.faillink(error);
        return result;
    }

    if (!fitsmodel(link, path, *reader.file().model)) {
        if (cancelled(link.state())) progress.setstatus(path.filename().string() + " was not sent.");
        return result;
    }
    std::size_t index = 0;
    std::vector<std::uint8_t> data;
    for (const TiEntry* entry : reader.file().variables()) {
        const std::size_t i = index++;
        if ((selected && !selected(i)) || (plan && plan->skips(entry->fullname()))) continue;
        const std::string name = (plan ? plan->sentname(entry->fullname()) : entry->fullname()).substr(0, kPackageNameSize);
        // Four zero bytes, then the S stored bytes.
        data.assign(4, 0);
        data.resize(4 + entry->size);
        if (!reader.read(entry->dataposition, std::span(data).subspan(4))) {
            link.faillink("Cannot read " + tibytes_to_utf8(name) + " from " + path.filename().string() + ".");
            break;
        }
        if (!sendone(link, progress, *entry, name, data, result)) return result;
    }
    sendsummary(link, progress, result);
    return result;
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
        } else if (kind != SendKind::Variables) {
            progress.tell(News::Note, kCannotHandleText);
        } else {
            sendvariables(link, progress, path, {}, places.plan);
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
    std::vector<std::filesystem::path> paths;
    for (const std::string& name : names) paths.push_back(places.browserfolder / name);
    if (!variablefilesread(link, paths)) return true;
    for (const std::string& name : names) {
        const std::filesystem::path path = places.browserfolder / name;
        switch (sendkind(path)) {
        case SendKind::Text: progress.tell(News::Note, kConvertFirstText); break;
        case SendKind::Backup: sendbackup(link, progress, path); break;
        case SendKind::Unhandled: progress.tell(News::Note, kCannotHandleText); break;
        case SendKind::Variables:
            sendvariables(link, progress, path, {}, places.plan);
            // Not sent, the program needs no libraries there.
            if (install && s.linkok) sendlibraries(link, progress, findlibraries(tablenames(path, false), places), name);
            break;
        }
        if (!s.linkok) break;
    }
    return true;
}

} // namespace tessaly
