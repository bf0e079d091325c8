#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "files/flashfile.h"
#include "transfers/flash.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

// Flash over the Titanium's own USB port, each a transcript of virtual packets. The
// exchanges of flash.h hand over to these on a link whose cable is that port, after the
// checks they make of the file, so both cables give the same results and failure texts.

// The part the calculator writes to Flash between pieces: its answers take seconds.
inline constexpr std::uint32_t kUsbFlashWaitMs = 20'000;
// A system's data goes in pieces of this size, each acknowledged once written.
inline constexpr std::size_t kUsbSystemPiece = 0x2000;

// Every part but licences, in order: an application offered with no folder and its data
// the contents; a system with the calculator put into its basic mode, told the size, given
// the header (the leading 800F field) and the data in pieces, then the end, which it
// acknowledges once the system is checked and written. The file was checked by the caller.
FlashSendResult usbsendflash(Link& link, Progress& progress, const FlashFile& file);
// An application by its bare name ("demoapp").
std::optional<FlashFile> usbreceiveapplication(Link& link, Progress& progress, std::string_view name);
// The ID list from the full ID parameter.
std::optional<std::string> usbreceiveidlist(Link& link, Progress& progress);
// The clock by its parameters: seconds since 1997, the date and the time format.
std::optional<CalculatorClock> usbreadclock(Link& link, Progress& progress);
bool usbsetclock(Link& link, Progress& progress, const CalculatorClock& clock);

} // namespace tessaly
