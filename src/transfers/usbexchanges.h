#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/progress.h"
#include "link/usbpackets.h"
#include "transfers/packetcommands.h"
#include "transfers/screenshot.h"

namespace tessaly {

// The exchanges of a Link whose cable is the Titanium's own USB port (link.directusb()),
// each a transcript of virtual packets. The exchanges of the link port call them first
// thing on such a link, so callers see the same results and failure texts.

// Ready: set mode (normal mode) and the calculator's mode acknowledgement. An error 0034
// (away from the home screen) fails with the not-at-home text; silence with the
// no-contact text. The session's buffer-size handshake goes first where it is due.
bool usbready(Link& link);
// The set mode, when nothing answered the link since it (re)opened.
bool usbknowcalculator(Link& link);
// The parameters asked for, in order; nullopt and the link failed when they do not come.
std::optional<std::vector<UsbParameter>> usbparameters(Link& link, const std::vector<std::uint16_t>& ids);
// The product name, OS version and hardware version, as requestversion gives them.
bool usbversion(Link& link, Progress& progress, CalculatorVersion& answer);
// What the calculator panel shows of a Titanium: the other parameters.
struct UsbCalculatorInfo {
    std::string productname;
    std::string fullid;
    std::uint64_t freeram = 0;
    std::uint64_t freeflash = 0;
    bool batteryok = true;
};
std::optional<UsbCalculatorInfo> usbcalculatorinfo(Link& link);
// The full ID parameter as the ID list is shown: "03069-D1BA3-FFAB".
std::string usbidlist(std::span<const std::uint8_t> fullid);
// The screen: parameter 0022, the bitmap of the model's screen.
ScreenshotResult usbscreenshot(Link& link, Progress& progress);
// One key: execute with action 3 and the key's big-endian code, answered by a data ack.
bool usbkey(Link& link, std::uint16_t code);

} // namespace tessaly
