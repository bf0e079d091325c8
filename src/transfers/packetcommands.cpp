#include "transfers/packetcommands.h"
#include "transfers/usbexchanges.h"

#include "files/ticharset.h"
#include "link/packets.h"
#include "transfers/usbvariables.h"

namespace tessaly {

namespace {

// The version answer's data: the system's version (major, minor), the boot code's, the
// battery, the hardware's revision, the language (two bytes), zeros, and at byte 13 the
// hardware ID that tells the models apart; some systems add two bytes more.
constexpr std::size_t kHardwareIdAt = 13;
constexpr std::size_t kHardwareRevisionAt = 5;
constexpr std::size_t kVersionBytes = kHardwareIdAt + 1;

bool lacks(Link& link, bool has, std::string_view text) {
    if (has) return false;
    link.state().pendingerror = std::string(text);
    link.state().linkok = false;
    return true;
}

std::string twodigits(unsigned value) { return std::string(value < 10 ? "0" : "").append(std::to_string(value)); }

} // namespace

// The request, our data request, and the answer acknowledged: the exchange every later
// model's version request is.
bool requestversion(Link& link, Progress& progress, CalculatorVersion& answer) {
    if (link.directusb()) return usbversion(link, progress, answer);
    if (lacks(link, link.model().hasversioncommand, "The calculator has no version request.")) return false;
    progress.setstatus("Asking the calculator for its version..");
    sendpacket(link, CmdVersion);
    if (!expectack(link, kVersionRequestNoAckText)) return false;
    senddatarequest(link);
    if (!expectack(link, kVersionRequestNoAckText)) return false;
    const Packet p = receiveverified(link);
    if (link.state().linkok && (!p.is(CmdData) || p.data.size() < kVersionBytes)) {
        link.faillink(kNoVersionText);
        return false;
    }
    if (!link.state().linkok) return false;
    sendack(link);
    const CalculatorModel* model = modelbyhardware(p.data[kHardwareIdAt]);
    // A code we do not know still names the family the machine byte told.
    const CalculatorModel& named = model ? *model : link.model();
    answer.model = std::string(named.name);
    answer.version = std::to_string(p.data[0]) + "." + twodigits(p.data[1]);
    answer.hardware = std::to_string(p.data[kHardwareRevisionAt] + named.hardwarefirst);
    const CalculatorModel* chosen = link.chosenmodel();
    if (model && chosen && model != chosen) {
        link.versionmismatch(*model);
        return false;
    }
    if (model && model->calcmachine == link.model().calcmachine && !chosen) link.setmodel(*model);
    link.setsystem({true, p.data[0], p.data[1], static_cast<std::uint8_t>(p.data[kHardwareRevisionAt] + named.hardwarefirst)});
    return true;
}

// Why the calculator refused, from the reason code in its refusal's data.
std::string refusalreason(const CalculatorModel& model, const Packet& refusal) {
    const RefusalLayout& r = model.refusal;
    if (refusal.data.size() <= r.reasonoffset) return {};
    const std::uint8_t code = refusal.data[r.reasonoffset];
    if (code == r.nosuchvariable) return " (it has no such variable)";
    if (code == r.noroom) return " (it has no room)";
    if (code == r.undeletable || code == r.locked) return " (it is locked or archived)";
    if (code == r.badname) return " (it cannot hold that name)";
    return " (refusal code " + std::to_string(code) + ")";
}

// The delete packet names the variable (size and type zero, nothing after the name); the
// calculator acknowledges it, then answers with a second acknowledgement once the variable
// is gone, or a refusal that says why.
bool deletebypacket(Link& link, Progress& progress, const std::string& fullname) {
    if (link.directusb()) return usbdelete(link, progress, fullname);
    if (lacks(link, link.model().hasdeletecommand, "The calculator has no delete request.")) return false;
    progress.setstatus("Deleting " + tibytes_to_utf8(fullname) + "..");
    sendready(link);
    if (!expectack(link, kNoAckDeleteText)) return false;
    std::vector<std::uint8_t> data{0x00, 0x00, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(fullname.size())};
    data.insert(data.end(), fullname.begin(), fullname.end());
    sendpacket(link, CmdDelete, data);
    if (!expectack(link, kNoAckDeleteText)) return false;
    const std::optional<PacketHeader> h = seekheader(link);
    const Packet p = h ? receivebody(link, *h) : Packet{};
    if (p.is(CmdAck)) return true;
    if (p.is(CmdSkip)) {
        link.faillink(std::string(kNotDeletedText) + fullname + refusalreason(link.model(), p));
    } else if (link.state().linkok) {
        link.faillink(kNoAckDeleteText);
    }
    return false;
}

} // namespace tessaly
