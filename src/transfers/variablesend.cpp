#include "transfers/variablesend.h"

#include <algorithm>

#include "files/packagestore.h"
#include "files/ticharset.h"
#include "link/packets.h"
#include "transfers/usbvariables.h"

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

// One variable's exchange: the ready check, its header, the calculator's answer (an
// acknowledgement, then a data request or a refusal), its data and the end. False when
// the link went down before the header was out: the whole send then stops at once.
bool sendone(Link& link, Progress& progress, const TiEntry& entry, const std::string& name,
             std::span<const std::uint8_t> data, SendResult& result) {
    if (link.directusb()) return usbsendone(link, progress, entry, name, data.subspan(4), result);
    TransferState& s = link.state();
    sendready(link);
    expectack(link);
    progress.setstatus(std::string(kSendingText) + tibytes_to_utf8(name) + "..");
    HeaderWatcher watcher(progress);
    const CalculatorModel& model = link.model();
    sendpacket(link, model.offercommand,
               variableheader(model.header, entry.size, offeredtype(model, entry), name), &watcher);
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
        s.pendingerror += "\n" + std::string(kLockedHintText) + "\n" + std::string(kHomeHintText);
        progress.setstatus(s.pendingerror);
    }
}

} // namespace

bool openchecked(TiFileReader& reader, const std::filesystem::path& path, std::string* error) {
    if (!reader.open(path, error)) return false;
    std::uint8_t signature[8] = {};
    if (!reader.read(0, signature) || !modelbysignature({reinterpret_cast<const char*>(signature), 8})) {
        *error = path.filename().string() + std::string(kNotTi92FileText);
        return false;
    }
    return true;
}

std::string checkvariablefile(const std::filesystem::path& path) {
    TiFileReader reader;
    std::string error;
    return openchecked(reader, path, &error) ? std::string() : error;
}

std::string othermodeltext(const std::filesystem::path& path, const CalculatorModel& file,
                           const CalculatorModel& calculator) {
    return path.filename().string() + " was made for the " + std::string(file.name) + ", and the calculator is a " +
           std::string(calculator.name) + ".";
}

bool fitsmodel(Link& link, const std::filesystem::path& path, const CalculatorModel& file, OtherModelQuestion* ask) {
    // The TI-92 Plus and the Voyage 200 sign their files alike and take each other's.
    auto fits = [&] { return file.signature == link.model().signature; };
    if (fits()) return true;
    // Until a calculator answered, the link's model is only a guess: a ready check asks.
    if (!link.modelknown()) {
        if (link.directusb() ? !usbready(link) : (sendready(link), !expectack(link))) return false;
        if (fits()) return true;
    }
    const OtherModelFile other{path, &file, &link.model()};
    if (ask && ask->sendanyway(other)) return true;
    link.faillink(othermodeltext(other) + " " + std::string(kOtherModelRefusedText));
    return false;
}

SendResult sendvariables(Link& link, Progress& progress, const std::filesystem::path& path,
                         const std::function<bool(std::size_t)>& selected, const SendPlan* plan) {
    SendResult result;
    link.state().linkok = true;
    if (plan && plan->leavesout(path)) {
        progress.setstatus(path.filename().string() + " was not sent.");
        return result;
    }

    TiFileReader reader;
    std::string error;
    if (!openchecked(reader, path, &error)) {
        link.faillink(error);
        return result;
    }

    if (!(plan && plan->takesanymodel(path)) && !fitsmodel(link, path, *reader.file().model, nullptr)) return result;
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

} // namespace tessaly
