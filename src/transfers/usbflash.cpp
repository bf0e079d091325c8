#include "transfers/usbflash.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "link/usbpackets.h"
#include "transfers/usbexchanges.h"
#include "transfers/usbwire.h"

namespace tessaly {

using namespace usbwire;

namespace {

// The basic mode a system goes in: {2, 1, 0, 0, 0FA0}, each a big-endian word.
const UsbBytes kBasicMode{0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xA0};
// What a variable request asks back about an application: archived, version, locked.
constexpr std::uint16_t kRequestAttributes[] = {usbattr::Archived, usbattr::Version, usbattr::Locked};
constexpr std::uint8_t kRequestTail[] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint16_t kSystemHeaderField = 0x800F;
// More than any model's Flash: a calculator that never stops cannot fill our memory.
constexpr std::size_t kMostFlashBytes = 4u << 20;

std::string partname(const FlashPart& part) {
    return flashkindname(part.datatype) + (part.name.empty() ? std::string() : " " + part.name);
}

// The step's answer, or the link failed: a refusal in the words the link port's refusals
// use for the part, the port's own texts for a busy calculator or flat batteries.
bool answered(Link& link, std::uint16_t wanted, const FlashPart& part) {
    const Reply r = awaitreply(link, wanted, kUsbFlashWaitMs);
    if (r.ok) return true;
    if (!link.state().linkok || r.error == 0) return false;
    const std::string what = partname(part);
    switch (r.error) {
    case usberror::SignatureMismatch: link.faillink("The calculator rejected the " + what + "'s signature."); break;
    case usberror::OutOfMemory: link.faillink("The calculator has no room for the " + what + "."); break;
    case usberror::Busy:
    case usberror::BatteryLow:
    case usberror::WaitingForSystem: link.faillink(usberrortext(r.error)); break;
    default: {
        char code[8];
        std::snprintf(code, sizeof code, "%04X", r.error);
        link.faillink("The calculator refused the " + what + " (error " + code + ").");
    }
    }
    return false;
}

class Gauge {
public:
    Gauge(Progress& progress, std::size_t total) : m_progress(progress), m_total(std::max<std::size_t>(total, 1)) {
        progress.setgaugemax(static_cast<int>(m_total));
        progress.setgaugeposition(0);
    }
    void add(std::size_t n) {
        m_done += n;
        m_progress.setgaugeposition(static_cast<int>(std::min(m_done, m_total)));
        m_progress.processmessages();
    }
    std::size_t done() const { return m_done; }

private:
    Progress& m_progress;
    std::size_t m_total;
    std::size_t m_done = 0;
};

bool sendapplication(Link& link, const FlashPart& part, Gauge& gauge) {
    UsbBytes rts;
    putname(rts, {});
    putname(rts, part.name);
    putlong(rts, static_cast<std::uint32_t>(part.data.size()));
    rts.push_back(0x01);  // silent
    // Version 1 marks a Flash object, not a variable of the same name.
    putattributes(rts, {typeattribute(usbattr::Type, part.datatype), flag(usbattr::Archived, false),
                        {usbattr::Version, {0, 0, 0, 1}}, flag(usbattr::Locked, false)});
    if (!sendvirtual(link, {vtype::RequestToSend, rts}) || !answered(link, vtype::DataAck, part)) return false;
    // Checked and written to Flash before it answers.
    if (!sendvirtual(link, {vtype::VariableContents, UsbBytes(part.data.begin(), part.data.end())}) ||
        !answered(link, vtype::DataAck, part))
        return false;
    gauge.add(part.data.size());
    return sendeot(link);
}

// committed: the calculator took the size, so it has begun to erase its system.
bool sendsystem(Link& link, const FlashPart& part, Gauge& gauge, bool& committed) {
    const std::optional<FlashField> header = readflashfield(part.data, 0);
    if (!header || (header->id & 0xFFF0) != (kSystemHeaderField & 0xFFF0)) {
        link.faillink("The file's operating system is damaged: its data does not begin with its header. Nothing was sent.");
        return false;
    }
    if (!sendvirtual(link, {vtype::SetMode, kBasicMode}) || !answered(link, vtype::ModeAck, part)) return false;
    UsbBytes begin(7, 0);
    putlong(begin, static_cast<std::uint32_t>(part.data.size()));
    if (!sendvirtual(link, {vtype::OsBegin, begin}) || !answered(link, vtype::OsAck, part)) return false;
    committed = true;
    const auto end = part.data.begin() + static_cast<std::ptrdiff_t>(header->offset + header->size);
    if (!sendvirtual(link, {vtype::OsHeader, UsbBytes(part.data.begin(), end)}) || !answered(link, vtype::OsAck, part))
        return false;
    for (std::size_t at = 0; at < part.data.size(); at += kUsbSystemPiece) {
        const std::size_t n = std::min(kUsbSystemPiece, part.data.size() - at);
        const auto from = part.data.begin() + static_cast<std::ptrdiff_t>(at);
        if (!sendvirtual(link, {vtype::OsData, UsbBytes(from, from + static_cast<std::ptrdiff_t>(n))}) ||
            !answered(link, vtype::DataAck, part))
            return false;
        gauge.add(n);
    }
    // The seal is checked and the system written before the end is acknowledged.
    return sendeot(link) && answered(link, vtype::EotAck, part);
}


} // namespace

FlashSendResult usbsendflash(Link& link, Progress& progress, const FlashFile& file) {
    FlashSendResult result;
    std::size_t total = 0;
    for (const FlashPart& part : file.parts)
        if (part.sent()) total += part.data.size();
    if (!usbready(link)) return result;
    Gauge gauge(progress, total);
    for (const FlashPart& part : file.parts) {
        if (!part.sent()) continue;
        progress.setstatus("Sending " + partname(part) + "..");
        bool committed = false;
        const bool whole = part.datatype == kFlashOs ? sendsystem(link, part, gauge, committed)
                                                     : sendapplication(link, part, gauge);
        result.bytes = gauge.done();
        if (!whole) {
            TransferState& s = link.state();
            if (part.datatype == kFlashOs && committed)
                s.pendingerror = (s.pendingerror.empty() ? std::string(kCancelledText) : s.pendingerror) + " " +
                                 std::string(kWaitsForSystemText);
            return result;
        }
        result.sent = true;
    }
    progress.setstatus(std::to_string(result.bytes) + " bytes of Flash sent.");
    return result;
}

std::optional<FlashFile> usbreceiveapplication(Link& link, Progress& progress, std::string_view name) {
    if (!usbready(link)) return std::nullopt;
    progress.setstatus("Receiving the application " + std::string(name) + "..");
    UsbBytes request;
    putname(request, {});
    putname(request, name);
    request.insert(request.end(), std::begin(kRequestTail), std::end(kRequestTail));
    putword(request, static_cast<std::uint16_t>(std::size(kRequestAttributes)));
    for (const std::uint16_t a : kRequestAttributes) putword(request, a);
    putattributes(request, {typeattribute(usbattr::RequestType, kFlashApplication)});
    putword(request, 0);
    if (!sendvirtual(link, {vtype::VariableRequest, request})) return std::nullopt;
    const Reply header = awaitreply(link, vtype::VariableHeader);
    const std::optional<UsbEntry> entry = header.ok ? parseentry(*header.packet) : std::nullopt;
    if (header.ok && !entry) link.faillink("The calculator's answer was cut short.");
    if (!entry) {
        if (link.state().linkok)
            link.faillink("The calculator refused to send its application " + std::string(name) +
                          (header.error == 0x0004 ? " (it has no such application)." : "."));
        return std::nullopt;
    }
    Reply contents = awaitreply(link, vtype::VariableContents, kUsbFlashWaitMs);
    if (!contents.ok) {
        if (link.state().linkok) link.faillink(usberrortext(contents.error));
        return std::nullopt;
    }
    UsbBytes& data = contents.packet->data;
    // The header names a size only where it was asked for one.
    if ((entry->size != 0 && data.size() != entry->size) || data.empty() || data.size() > kMostFlashBytes) {
        link.faillink("The application " + std::string(name) + " arrived with " + std::to_string(data.size()) +
                      " bytes of the " + std::to_string(entry->size) + " announced; it was not kept.");
        return std::nullopt;
    }
    progress.setgaugemax(static_cast<int>(data.size()));
    progress.setgaugeposition(static_cast<int>(data.size()));
    progress.setstatus("Application " + std::string(name) + " received.");
    FlashFile file;
    file.parts.push_back(receivedflashpart(link.model(), kFlashApplication, std::string(name), std::move(data)));
    return file;
}

std::optional<std::string> usbreceiveidlist(Link& link, Progress& progress) {
    progress.setstatus("Asking the calculator for its ID list..");
    const auto params = usbparameters(link, {usbparam::FullId});
    if (!params) return std::nullopt;
    if (params->empty() || !params->front().there) {
        link.faillink("This calculator has no ID list: its system was never upgraded.");
        return std::nullopt;
    }
    progress.setstatus("ID list received.");
    return usbidlist(params->front().data);
}

namespace {

// The clock counts seconds from 1997-01-01 00:00, the time the calculator shows.
constexpr std::int64_t kClockEpoch = 852'076'800;

bool setparameter(Link& link, std::uint16_t id, const UsbBytes& value) {
    UsbBytes d;
    putword(d, id);
    putword(d, static_cast<std::uint16_t>(value.size()));
    d.insert(d.end(), value.begin(), value.end());
    return sendvirtual(link, {vtype::ParameterSet, d}) && expectvirtual(link, vtype::DataAck).has_value();
}

} // namespace

std::optional<CalculatorClock> usbreadclock(Link& link, Progress& progress) {
    const auto params = usbparameters(link, {usbparam::ClockSeconds, usbparam::DateFormat, usbparam::TimeFormat});
    if (!params) return std::nullopt;
    const auto& p = *params;
    if (p.size() != 3 || !p[0].there || p[0].data.size() != 4 || !p[1].there || p[1].data.size() != 1 || !p[2].there ||
        p[2].data.size() != 1 || p[1].data[0] > 8) {
        link.faillink("The calculator's clock answer was not understood.");
        return std::nullopt;
    }
    std::uint32_t seconds = 0;
    for (std::uint8_t b : p[0].data) seconds = seconds << 8 | b;
    const std::time_t at = static_cast<std::time_t>(kClockEpoch + seconds);
    std::tm t{};
    gmtime_r(&at, &t);
    CalculatorClock clock;
    clock.year = static_cast<std::uint16_t>(t.tm_year + 1900);
    clock.month = static_cast<std::uint8_t>(t.tm_mon + 1);
    clock.day = static_cast<std::uint8_t>(t.tm_mday);
    clock.hour = static_cast<std::uint8_t>(t.tm_hour);
    clock.minute = static_cast<std::uint8_t>(t.tm_min);
    clock.second = static_cast<std::uint8_t>(t.tm_sec);
    // The port numbers the third date format 0, and says 1 for a 24-hour clock.
    clock.dateformat = p[1].data[0] == 0 ? 3 : p[1].data[0];
    clock.timeformat = p[2].data[0] ? 24 : 12;
    progress.setstatus("The calculator's clock says " + clocktext(clock) + ".");
    return clock;
}

bool usbsetclock(Link& link, Progress& progress, const CalculatorClock& clock) {
    if (!usbknowcalculator(link)) return false;
    progress.setstatus("Setting the calculator's clock..");
    std::tm t{};
    t.tm_year = clock.year - 1900;
    t.tm_mon = clock.month - 1;
    t.tm_mday = clock.day;
    t.tm_hour = clock.hour;
    t.tm_min = clock.minute;
    t.tm_sec = clock.second;
    const auto seconds = static_cast<std::uint32_t>(timegm(&t) - kClockEpoch);
    UsbBytes value;
    putlong(value, seconds);
    if (!setparameter(link, usbparam::ClockSeconds, value) ||
        !setparameter(link, usbparam::DateFormat, {static_cast<std::uint8_t>(clock.dateformat == 3 ? 0 : clock.dateformat)}) ||
        !setparameter(link, usbparam::TimeFormat, {static_cast<std::uint8_t>(clock.timeformat == 24 ? 1 : 0)}))
        return false;
    progress.setstatus("The calculator's clock is set to " + clocktext(clock) + ".");
    return true;
}

} // namespace tessaly
