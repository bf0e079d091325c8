#include "transfers/flash.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "link/packets.h"
#include "transfers/packetcommands.h"
#include "transfers/usbflash.h"

namespace tessaly {

namespace {

// A block of Flash data: the most a data packet holds (its length word then reads 0000).
constexpr std::size_t kFlashBlock = 65536;
// The calculator erases and writes Flash between two blocks and says nothing meanwhile.
constexpr std::uint32_t kFlashPatienceMs = 20000;
// The most an application or a certificate the calculator sends may hold: more than any
// model's Flash, so a calculator that never stops cannot fill our memory.
constexpr std::size_t kMostFlashBytes = 4u << 20;

constexpr std::uint8_t kIdListType = 0x22;
constexpr std::uint8_t kClockType = 0x18;
constexpr std::uint8_t kCertificateRequestType = 0x20;
constexpr std::string_view kClockName = "Clock";
constexpr std::size_t kClockBytes = 16;
constexpr std::size_t kIdListBytes = 22;
constexpr std::size_t kIdListDigits = 14;



void fail(Link& link, std::string_view text) { link.faillink(text); }

// The calculator's next packet whole, bytes before its machine byte skipped.
Packet answer(Link& link) {
    const std::optional<PacketHeader> header = seekheader(link);
    return header ? receivebody(link, *header) : Packet{};
}

// Size (little-endian), type, name length and name, as every Flash header starts.
std::vector<std::uint8_t> flashheader(std::uint32_t size, std::uint8_t type, std::string_view name) {
    std::vector<std::uint8_t> d;
    for (int i = 0; i < 4; ++i) d.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    d.push_back(type);
    d.push_back(static_cast<std::uint8_t>(name.size()));
    for (char c : name) d.push_back(static_cast<std::uint8_t>(c));
    return d;
}

// Why a Flash exchange cannot run on this calculator; empty when it can. The system is
// asked for first where the link has not learnt it.
std::string noflashreason(Link& link, Progress& progress, bool systemonly) {
    // Only a Titanium has that port, and it left the factory with a Flash system.
    if (link.directusb()) return {};
    if (!link.system().known) {
        // An unchosen link takes every answer for a TI-92 until one came: the ready check
        // tells the family, then the version the model and its system.
        if (!link.modelknown() && !link.model().hasversioncommand) {
            sendready(link);
            if (!expectack(link)) return {};
        }
        if (link.model().flashdevice == 0) return std::string("The ") + std::string(link.model().name) + " has no Flash.";
        CalculatorVersion version;
        if (!requestversion(link, progress, version)) return {};
    }
    if (link.model().flashdevice == 0) return std::string("The ") + std::string(link.model().name) + " has no Flash.";
    // A system is how a calculator gets upgraded; everything else needs a Flash system.
    if (!systemonly && !link.system().upgraded())
        return "This calculator has no Flash system: its system was never upgraded.";
    return {};
}

// Runs the check; false with the link failed when the exchange cannot run.
bool flashready(Link& link, Progress& progress, std::string_view noflash = {}, bool systemonly = false) {
    const std::string why = noflashreason(link, progress, systemonly);
    if (!link.state().linkok) return false;
    if (why.empty()) return true;
    fail(link, !noflash.empty() && link.model().flashdevice != 0 && !link.directusb() ? noflash : why);
    return false;
}

// What a refusal of Flash says, for the part named.
std::string flashrefusal(const CalculatorModel& model, const Packet& refusal, const FlashPart& part) {
    const std::size_t at = model.refusal.reasonoffset;
    const int code = refusal.data.size() > at ? refusal.data[at] : -1;
    const std::string what = flashkindname(part.datatype) + (part.name.empty() ? "" : " " + part.name);
    if (code == model.refusal.othermodel) return "The calculator refused the " + what + ": it was made for another model.";
    if (code == model.refusal.badsignature) return "The calculator rejected the " + what + "'s signature.";
    if (code == model.refusal.noroom) return "The calculator has no room for the " + what + ".";
    if (code == model.refusal.waitingforsystem) return std::string(kWaitsForSystemText);
    return "The calculator refused the " + what + refusalreason(model, refusal) + ".";
}

// The part's request to send: an application names itself; a system names nothing but its
// type, and on the later hardware the hardware it is for.
std::vector<std::uint8_t> partrequest(const CalculatorModel& model, const FlashPart& part) {
    const auto size = static_cast<std::uint32_t>(part.data.size());
    if (part.datatype != kFlashOs) {
        std::vector<std::uint8_t> d = flashheader(size, part.datatype, part.name);
        d.push_back(0x00);
        return d;
    }
    std::vector<std::uint8_t> d = flashheader(size, kFlashOs, {});
    if (model.longosrequest) {
        d.push_back(0x08);
        d.push_back(0x00);
        d.push_back(model.hardwareid);
    }
    return d;
}

// The gauge in bytes over the whole file and the time left on the status line, moved
// (and Cancel looked at) every kilobyte as a block crosses.
class FlashGauge final : public PacketWatcher {
public:
    FlashGauge(Link& link, Progress& progress, std::size_t total)
        : m_link(link), m_progress(progress), m_total(std::max<std::size_t>(total, 1)),
          m_start(link.clock().micros()) {
        progress.setgaugemax(static_cast<int>(m_total));
        progress.setgaugeposition(0);
    }
    void begin(std::string what, std::size_t done) {
        m_what = std::move(what);
        m_base = done;
        show(done);
    }
    void onbyte(std::size_t index, std::uint8_t) override {
        if (index % 1024 == 1023) show(m_base + index + 1);
    }
    void restart() override { show(m_base); }

private:
    void show(std::size_t done) {
        m_progress.setgaugeposition(static_cast<int>(done));
        std::string text = "Sending " + m_what;
        const std::uint64_t elapsed = m_link.clock().micros() - m_start;
        if (done > 0 && done < m_total && elapsed >= 1000000) {
            const std::uint64_t left = elapsed / 1000000 * (m_total - done) / done;
            text += ": " + std::to_string(left) + " s left";
        }
        text += "..";
        // Said again only when it changed: a terminal writes each status as a line.
        if (text != m_shown) m_progress.setstatus(text);
        m_shown = std::move(text);
        m_progress.processmessages();
    }

    Link& m_link;
    Progress& m_progress;
    std::size_t m_total;
    std::uint64_t m_start;
    std::size_t m_base = 0;
    std::string m_what;
    std::string m_shown;
};

// The calculator's answer at a point where it may refuse: an acknowledgement (true), or a
// refusal said for the part.
bool acknowledged(Link& link, const FlashPart& part) {
    const Packet p = answer(link);
    if (p.is(CmdAck)) return true;
    if (!link.state().linkok) return false;
    if (p.is(CmdSkip)) {
        fail(link, flashrefusal(link.model(), p, part));
    } else {
        std::string text(kUnexpectedAnswerText);
        text += p.complete && commandinfo(p.command()) ? commandinfo(p.command())->name : "none";
        text += " (expected: acknowledge).";
        fail(link, text);
    }
    return false;
}

// One part: its request, then per block the calculator's acknowledgement and data request,
// our acknowledgement and the block, its acknowledgement, and CNT or (after the last) EOT.
// committed: the calculator asked for the data, so it has begun to make room for it.
bool sendpart(Link& link, const FlashPart& part, FlashGauge& gauge, std::size_t& done, bool& committed) {
    sendpacket(link, CmdSendVar, partrequest(link.model(), part));
    const std::span<const std::uint8_t> data(part.data);
    for (std::size_t at = 0; at < data.size(); at += kFlashBlock) {
        if (!acknowledged(link, part)) return false;
        const Packet cts = answer(link);
        if (!link.state().linkok) return false;
        if (cts.is(CmdSkip)) {
            fail(link, flashrefusal(link.model(), cts, part));
            return false;
        }
        if (!cts.is(CmdDataRequest)) {
            fail(link, "The calculator did not ask for the " + flashkindname(part.datatype) + "'s data.");
            return false;
        }
        committed = true;
        sendack(link);
        const std::span<const std::uint8_t> block = data.subspan(at, std::min(kFlashBlock, data.size() - at));
        gauge.begin(flashkindname(part.datatype) + (part.name.empty() ? "" : " " + part.name), done);
        sendpacket(link, CmdData, block, &gauge);
        if (!acknowledged(link, part)) return false;
        done += block.size();
        sendpacket(link, at + block.size() < data.size() ? CmdContinue : CmdEnd);
    }
    return acknowledged(link, part);
}

// Whether the file can be sent as it is; false with the link failed otherwise.
bool fileusable(Link& link, const FlashFile& file) {
    bool any = false;
    for (const FlashPart& part : file.parts) {
        if (!part.sent()) continue;
        any = true;
        if (part.data.empty() || part.data.size() > kMostFlashBytes) {
            fail(link, "The file's " + flashkindname(part.datatype) + " is damaged: it holds " +
                           std::to_string(part.data.size()) + " bytes. Nothing was sent.");
            return false;
        }
    }
    if (!any) fail(link, "The file holds nothing to send to a calculator (only licences). Nothing was sent.");
    return any;
}

} // namespace

FlashSendResult sendflashfile(Link& link, Progress& progress, const FlashFile& file, FlashQuestions& ask) {
    FlashSendResult result;
    const bool systemonly = std::all_of(file.parts.begin(), file.parts.end(), [](const FlashPart& p) {
        return !p.sent() || p.datatype == kFlashOs;
    });
    if (!fileusable(link, file) || !flashready(link, progress, {}, systemonly)) return result;
    const CalculatorModel& model = link.model();
    if (const std::string why = flashmismatch(file, model); !why.empty()) {
        fail(link, why + " Nothing was sent.");
        return result;
    }
    std::size_t total = 0;
    for (const FlashPart& part : file.parts) {
        if (!part.sent()) continue;
        total += part.data.size();
        if (part.datatype == kFlashOs && !ask.replacesystem(part, model)) {
            fail(link, "The system was not replaced. Nothing was sent.");
            return result;
        }
    }

    if (link.directusb()) return usbsendflash(link, progress, file);
    Patience patience(link, kFlashPatienceMs);
    FlashGauge gauge(link, progress, total);
    sendready(link);
    if (!expectack(link)) return result;
    std::size_t done = 0;
    for (const FlashPart& part : file.parts) {
        if (!part.sent()) continue;
        bool committed = false;
        const bool whole = sendpart(link, part, gauge, done, committed);
        if (committed) result.sent = true;
        if (!whole) {
            // A system cut off once the calculator made room for it leaves it without one.
            if (part.datatype == kFlashOs && committed) {
                TransferState& s = link.state();
                s.pendingerror = (s.pendingerror.empty() ? std::string(kCancelledText) : s.pendingerror) + " " +
                                 std::string(kWaitsForSystemText);
            }
            result.bytes = done;
            return result;
        }
    }
    result.bytes = done;
    progress.setgaugeposition(static_cast<int>(std::max<std::size_t>(total, 1)));
    progress.setstatus(std::to_string(done) + " bytes of Flash sent.");
    return result;
}

namespace {

// A Flash item the calculator sends on request: the request, its acknowledgement and the
// header, then blocks until EOT, each asked for, acknowledged and appended. nullopt with the
// link failed when it did not come whole.
std::optional<std::vector<std::uint8_t>> requestflash(Link& link, Progress& progress, std::vector<std::uint8_t> request,
                                                      std::string_view what, std::size_t* headersize = nullptr) {
    Patience patience(link, kFlashPatienceMs);
    sendready(link);
    if (!expectack(link)) return std::nullopt;
    sendpacket(link, CmdRequest, request);
    if (!expectack(link, "The calculator did not acknowledge the request for its " + std::string(what) + ".")) return std::nullopt;
    const Packet header = answer(link);
    if (!link.state().linkok) return std::nullopt;
    if (header.is(CmdSkip)) {
        fail(link, "The calculator refused to send its " + std::string(what) + refusalreason(link.model(), header) + ".");
        return std::nullopt;
    }
    if (!header.is(CmdVarHeader) || header.data.size() < 4) {
        fail(link, "The calculator did not send its " + std::string(what) + ".");
        return std::nullopt;
    }
    std::size_t announced = 0;
    for (int i = 3; i >= 0; --i) announced = announced * 256 + header.data[static_cast<std::size_t>(i)];
    if (headersize) *headersize = announced;
    const std::size_t gaugemax = std::clamp<std::size_t>(announced, 1, kMostFlashBytes);
    progress.setgaugemax(static_cast<int>(gaugemax));
    progress.setgaugeposition(0);
    progress.setstatus("Receiving the " + std::string(what) + "..");

    std::vector<std::uint8_t> data;
    for (;;) {
        sendack(link);
        senddatarequest(link);
        if (!expectack(link)) return std::nullopt;
        const Packet block = receiveverified(link);
        if (!link.state().linkok) return std::nullopt;
        if (!block.is(CmdData)) {
            fail(link, "The calculator's " + std::string(what) + " did not arrive whole.");
            return std::nullopt;
        }
        if (data.size() + block.data.size() > kMostFlashBytes) {
            fail(link, "The calculator's " + std::string(what) + " is larger than any Flash; it was not kept.");
            return std::nullopt;
        }
        data.insert(data.end(), block.data.begin(), block.data.end());
        progress.setgaugeposition(static_cast<int>(std::min(data.size(), gaugemax)));
        progress.processmessages();
        sendack(link);
        const Packet next = answer(link);
        if (!link.state().linkok) return std::nullopt;
        if (next.is(CmdEnd)) break;
        if (!next.is(CmdContinue)) {
            fail(link, "The calculator's " + std::string(what) + " did not arrive whole.");
            return std::nullopt;
        }
    }
    sendack(link);
    return data;
}


} // namespace

std::optional<FlashFile> receiveapplication(Link& link, Progress& progress, std::string_view name) {
    if (!flashready(link, progress)) return std::nullopt;
    if (name.empty() || name.size() > 8) {
        fail(link, "An application's name has 1 to 8 characters.");
        return std::nullopt;
    }
    if (link.directusb()) return usbreceiveapplication(link, progress, name);
    std::size_t announced = 0;
    auto data = requestflash(link, progress, flashheader(0, kFlashApplication, name),
                             "application " + std::string(name), &announced);
    if (!data) return std::nullopt;
    if (data->size() != announced) {
        fail(link, "The application " + std::string(name) + " arrived with " + std::to_string(data->size()) +
                       " bytes of the " + std::to_string(announced) + " announced; it was not kept.");
        return std::nullopt;
    }
    progress.setstatus("Application " + std::string(name) + " received.");
    FlashFile file;
    file.parts.push_back(receivedflashpart(link.model(), kFlashApplication, std::string(name), std::move(*data)));
    return file;
}

std::optional<FlashFile> receivecertificate(Link& link, Progress& progress) {
    if (link.directusb()) {
        fail(link, "The certificate cannot be reached over the calculator's own USB port: use the link port.");
        return std::nullopt;
    }
    if (!flashready(link, progress, "This calculator has no certificate: its system was never upgraded.")) return std::nullopt;
    auto data = requestflash(link, progress, flashheader(0, kCertificateRequestType, {}), "certificate");
    if (!data) return std::nullopt;
    if (data->size() <= 4) {
        fail(link, "The calculator sent an empty certificate.");
        return std::nullopt;
    }
    data->erase(data->begin(), data->begin() + 4);
    progress.setstatus("Certificate received.");
    FlashFile file;
    file.parts.push_back(receivedflashpart(link.model(), kFlashCertificate, {}, std::move(*data)));
    return file;
}

std::optional<std::string> receiveidlist(Link& link, Progress& progress) {
    if (link.directusb()) return usbreceiveidlist(link, progress);
    if (!flashready(link, progress, "This calculator has no ID list: its system was never upgraded.")) return std::nullopt;
    const auto data = requestflash(link, progress, flashheader(0, kIdListType, {}), "ID list");
    if (!data) return std::nullopt;
    const std::size_t at = kIdListBytes - kIdListDigits;
    std::string id;
    for (std::size_t i = at; data->size() == kIdListBytes && i < kIdListBytes; ++i) {
        const char c = static_cast<char>((*data)[i]);
        if (!std::isalnum(static_cast<unsigned char>(c))) break;
        if (i == at + 5 || i == at + 10) id += '-';
        id += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (id.size() != kIdListDigits + 2) {
        fail(link, "The calculator's ID list was not understood.");
        return std::nullopt;
    }
    progress.setstatus("ID list received.");
    return id;
}

std::string clocktext(const CalculatorClock& clock) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{clock.year}, unsigned{clock.month},
                  unsigned{clock.day}, unsigned{clock.hour}, unsigned{clock.minute}, unsigned{clock.second});
    return text;
}

std::string noclockreason(const Link& link) {
    const CalculatorModel& model = link.model();
    if (model.flashdevice == 0) return "The " + std::string(model.name) + " has no clock.";
    const CalculatorSystem& system = link.system();
    if (!system.known) return {};
    if (!system.atleast(2, 8)) {
        char version[16];
        std::snprintf(version, sizeof version, "%u.%02u", unsigned{system.major}, unsigned{system.minor});
        return "The calculator's system " + std::string(version) + " has no clock: it came with 2.08.";
    }
    if (system.hardware < 2) return "A calculator of hardware version 1 has no clock.";
    return {};
}

namespace {

bool clockready(Link& link, Progress& progress) {
    if (!link.system().known && link.model().flashdevice == 0 && !link.modelknown()) {
        sendready(link);
        if (!expectack(link)) return false;
    }
    if (!link.system().known && link.model().hasversioncommand) {
        CalculatorVersion version;
        if (!requestversion(link, progress, version)) return false;
    }
    if (const std::string why = noclockreason(link); !why.empty()) {
        fail(link, why);
        return false;
    }
    return true;
}

bool validclock(const CalculatorClock& c) {
    return c.year >= 1997 && c.year <= 2132 && c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31 &&
           c.hour < 24 && c.minute < 60 && c.second < 60 && c.dateformat >= 1 && c.dateformat <= 8 &&
           (c.timeformat == 12 || c.timeformat == 24);
}

} // namespace

std::optional<CalculatorClock> readclock(Link& link, Progress& progress) {
    if (link.directusb()) return usbreadclock(link, progress);
    if (!clockready(link, progress)) return std::nullopt;
    std::vector<std::uint8_t> request = flashheader(0, kClockType, kClockName);
    request.push_back(0x00);
    const auto data = requestflash(link, progress, std::move(request), "clock");
    if (!data) return std::nullopt;
    const std::vector<std::uint8_t>& d = *data;
    CalculatorClock clock;
    if (d.size() >= kClockBytes) {
        clock.year = static_cast<std::uint16_t>(d[6] * 256 + d[7]);
        clock.month = d[8];
        clock.day = d[9];
        clock.hour = d[10];
        clock.minute = d[11];
        clock.second = d[12];
        clock.dateformat = d[13];
        clock.timeformat = d[14];
    }
    if (d.size() < kClockBytes || !validclock(clock)) {
        fail(link, "The calculator's clock answer was not understood.");
        return std::nullopt;
    }
    progress.setstatus("The calculator's clock says " + clocktext(clock) + ".");
    return clock;
}

bool setclock(Link& link, Progress& progress, const CalculatorClock& clock) {
    if (!validclock(clock)) {
        fail(link, "The calculator's clock cannot say " + clocktext(clock) + ".");
        return false;
    }
    if (link.directusb()) return usbsetclock(link, progress, clock);
    if (!clockready(link, progress)) return false;
    std::vector<std::uint8_t> data(6, 0);
    data.push_back(static_cast<std::uint8_t>(clock.year >> 8));
    data.push_back(static_cast<std::uint8_t>(clock.year));
    for (std::uint8_t b : {clock.month, clock.day, clock.hour, clock.minute, clock.second, clock.dateformat,
                           clock.timeformat})
        data.push_back(b);
    data.push_back(0xFF);
    progress.setstatus("Setting the calculator's clock..");
    sendready(link);
    if (!expectack(link)) return false;
    std::vector<std::uint8_t> request = flashheader(static_cast<std::uint32_t>(data.size()), kClockType, kClockName);
    request.push_back(0x00);
    sendpacket(link, CmdSendVar, request);
    const char* refused = "The calculator refused to set its clock.";
    if (!expectack(link, refused) || !expect(link, CmdDataRequest, refused)) return false;
    sendack(link);
    sendpacket(link, CmdData, data);
    if (!expectack(link, refused)) return false;
    sendpacket(link, CmdEnd);
    if (!expectack(link, refused)) return false;
    progress.setstatus("The calculator's clock is set to " + clocktext(clock) + ".");
    return true;
}

} // namespace tessaly
