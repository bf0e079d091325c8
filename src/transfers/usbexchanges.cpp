#include "transfers/usbexchanges.h"

#include <cctype>

#include "link/packets.h"
#include "transfers/readiness.h"
#include "transfers/receive.h"

namespace tessaly {

namespace {

// Normal mode: {3, 1, 0, 0, 07D0}, each a big-endian word.
const UsbBytes kNormalMode{0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x07, 0xD0};
constexpr std::uint8_t kKeyAction = 3;

std::uint64_t number(const UsbBytes& data) {
    std::uint64_t value = 0;
    for (std::uint8_t b : data) value = value << 8 | b;
    return value;
}

std::string twodigits(unsigned value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

const UsbParameter* find(const std::vector<UsbParameter>& params, std::uint16_t id) {
    for (const UsbParameter& p : params)
        if (p.id == id && p.there) return &p;
    return nullptr;
}

} // namespace

bool usbready(Link& link) {
    TransferState& s = link.state();
    if (!s.linkok) return false;
    link.forgetmodel();
    if (!sendvirtual(link, {vtype::SetMode, kNormalMode})) {
        if (!cancelled(s)) s.pendingerror = nocontacttext(s.pendingerror);
        return false;
    }
    const auto answer = receivevirtual(link);
    if (!answer) {
        if (!cancelled(s)) s.pendingerror = nocontacttext(s.pendingerror);
        return false;
    }
    if (answer->type == vtype::ModeAck) {
        link.setmodel(link.model());
        return true;
    }
    // It answered: there is contact, and it says why it cannot talk now.
    if (answer->type == vtype::Error && answer->data.size() >= 2 &&
        number(UsbBytes(answer->data.begin(), answer->data.begin() + 2)) == usberror::Busy)
        link.faillink(kNotAtHomeText);
    else if (answer->type == vtype::Error && answer->data.size() >= 2)
        link.faillink(usberrortext(static_cast<std::uint16_t>(answer->data[0] << 8 | answer->data[1])));
    else
        link.faillink(std::string(kUnexpectedAnswerText) + std::string(vtypename(answer->type)) +
                      " where the mode acknowledgement was due.");
    return false;
}

bool usbknowcalculator(Link& link) {
    if (link.modelknown() && link.usbbuffersize()) return true;
    return usbready(link);
}

std::optional<std::vector<UsbParameter>> usbparameters(Link& link, const std::vector<std::uint16_t>& ids) {
    if (!usbknowcalculator(link)) return std::nullopt;
    if (!sendvirtual(link, {vtype::ParameterRequest, parameterrequest(ids)})) return std::nullopt;
    const auto answer = expectvirtual(link, vtype::ParameterData);
    if (!answer) return std::nullopt;
    std::string why;
    auto params = parseparameters(answer->data, &why);
    if (!params) link.faillink(why);
    return params;
}

bool usbversion(Link& link, Progress& progress, CalculatorVersion& answer) {
    progress.setstatus("Asking the calculator for its version..");
    const auto params = usbparameters(link, {usbparam::ProductName, usbparam::OsVersion, 0x0004});
    if (!params) return false;
    const UsbParameter* name = find(*params, usbparam::ProductName);
    const UsbParameter* os = find(*params, usbparam::OsVersion);
    if (!name || !os || os->data.size() < 3) {
        link.faillink(kNoVersionText);
        return false;
    }
    answer.model.assign(name->data.begin(), name->data.end());
    answer.version = std::to_string(os->data[1]) + "." + twodigits(os->data[2]);
    if (const UsbParameter* hw = find(*params, 0x0004)) answer.hardware = std::to_string(number(hw->data) + link.model().hardwarefirst);
    // Only a Titanium has this port: a link told another model was chosen says so.
    const CalculatorModel* chosen = link.chosenmodel();
    if (chosen && chosen->name != answer.model) {
        for (const CalculatorModel* m : {&kTI92Plus, &kV200, &kTI89, &kTI89Titanium})
            if (m->name == answer.model) {
                link.versionmismatch(*m);
                return false;
            }
    }
    return true;
}

std::string usbidlist(std::span<const std::uint8_t> fullid) {
    // The groups sit at 1, 7 and 13 of the 18 bytes; anything else is shown as it came, in hex,
    // so no byte of the calculator's reaches a dialog or a terminal raw.
    std::string text;
    const auto group = [&](std::size_t at, std::size_t n) {
        for (std::size_t i = at; i < at + n; ++i)
            if (!std::isalnum(fullid[i])) return false;
        if (!text.empty()) text += '-';
        text.append(fullid.begin() + static_cast<std::ptrdiff_t>(at), fullid.begin() + static_cast<std::ptrdiff_t>(at + n));
        return true;
    };
    if (fullid.size() == 18 && group(1, 5) && group(7, 5) && group(13, 4)) return text;
    static constexpr char kHex[] = "0123456789ABCDEF";
    text.clear();
    for (std::uint8_t b : fullid) text.append({kHex[b >> 4], kHex[b & 15]});
    return text;
}

std::optional<UsbCalculatorInfo> usbcalculatorinfo(Link& link) {
    const auto params = usbparameters(link, {usbparam::ProductName, usbparam::FullId, usbparam::FreeRam,
                                             usbparam::FreeFlash, usbparam::Battery});
    if (!params) return std::nullopt;
    UsbCalculatorInfo info;
    // Shown in a dialog: a control byte from the calculator is shown as '?'.
    if (const UsbParameter* p = find(*params, usbparam::ProductName))
        for (std::uint8_t c : p->data) info.productname += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    if (const UsbParameter* p = find(*params, usbparam::FullId)) info.fullid = usbidlist(p->data);
    if (const UsbParameter* p = find(*params, usbparam::FreeRam)) info.freeram = number(p->data);
    if (const UsbParameter* p = find(*params, usbparam::FreeFlash)) info.freeflash = number(p->data);
    if (const UsbParameter* p = find(*params, usbparam::Battery)) info.batteryok = number(p->data) != 0;
    return info;
}

ScreenshotResult usbscreenshot(Link& link, Progress& progress) {
    ScreenshotResult result;
    progress.setstatus(kReceivingScreenshotText);
    const std::size_t bytes = link.model().screenbytes();
    progress.setgaugemax(static_cast<int>(bytes));
    progress.setgaugeposition(0);
    const auto params = usbparameters(link, {usbparam::Screenshot});
    if (!params) return result;
    const UsbParameter* screen = find(*params, usbparam::Screenshot);
    // Anything but the whole bitmap would pass for a white screen.
    if (!screen || screen->data.size() != bytes) {
        link.faillink(kNotAScreenText);
        return result;
    }
    for (std::size_t i = 0; i < bytes; ++i) result.picture.addbyte(i, screen->data[i], 1);
    result.arrived = bytes;
    progress.setgaugeposition(static_cast<int>(bytes));
    result.picture.width = link.model().shownwidth;
    result.picture.height = link.model().shownheight;
    progress.setstatus(kScreenshotCompletedText);
    result.complete = true;
    return result;
}

bool usbkey(Link& link, std::uint16_t code) {
    if (!usbknowcalculator(link)) return false;
    // No folder, no name (each a zero length byte), the action, the key's code.
    const UsbBytes data{0x00, 0x00, kKeyAction, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code & 0xFF)};
    return sendvirtual(link, {vtype::Execute, data}) && expectvirtual(link, vtype::DataAck).has_value();
}

} // namespace tessaly
