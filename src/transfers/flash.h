#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "files/flashfile.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

// Flash on the later models: applications and operating systems sent block by block,
// applications and the certificate received, the ID list read, the clock read and set.
// Each runs inside the caller's transfer session, fails the link with its reason (the
// pending error text) and returns what the window and the CLI both show.

// The question a system upgrade asks before anything goes: the system is replaced, the
// calculator must not be unplugged, it restarts. The window asks the user; the CLI answers
// yes only with --os.
class FlashQuestions {
public:
    virtual ~FlashQuestions() = default;
    virtual bool replacesystem(const FlashPart& system, const CalculatorModel& model) = 0;
};

// Said when a system transfer broke off once the calculator had begun to make room for it.
inline constexpr std::string_view kWaitsForSystemText = "The calculator waits for a system: send the system again.";

// What a Flash send did: the parts sent; refused when nothing went (another model, a
// damaged file, a declined upgrade), with why in the pending error text.
struct FlashSendResult {
    bool sent = false;
    std::size_t bytes = 0;
};

// A Flash file to the calculator: its model checked against the file's device type and
// hardware first, a system upgrade asked about, then every part but licences, each through
// its own request, with a gauge in bytes and the time left on the status line.
FlashSendResult sendflashfile(Link& link, Progress& progress, const FlashFile& file, FlashQuestions& ask);

// An application from the calculator, by its name as the listing shows it; nullopt and the
// link failed when it did not arrive whole. The part is written as a file by the caller
// (writeflashfile), under the model's extension (.89k, .9xk, .v2k).
std::optional<FlashFile> receiveapplication(Link& link, Progress& progress, std::string_view name);

// The certificate, as a certificate file (.89q...); nullopt and the link failed otherwise.
std::optional<FlashFile> receivecertificate(Link& link, Progress& progress);

// The ID list as the calculator shows it: "03069-D1BA3-FFAB". nullopt and the link failed
// with why ("This calculator has no ID list: its system was never upgraded.") otherwise.
std::optional<std::string> receiveidlist(Link& link, Progress& progress);

// The calculator's clock (AMS 2.08 and later on HW2 and later).
struct CalculatorClock {
    std::uint16_t year = 1997;
    std::uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
    std::uint8_t dateformat = 1;  // 1-8, as the calculator's MODE dialog numbers them
    std::uint8_t timeformat = 24; // 12 or 24
};
// "2026-12-08 11:04:35" (ISO order, whatever the calculator's own date format).
std::string clocktext(const CalculatorClock& clock);
// Whether the model and the system the link learnt have a clock; why not otherwise.
std::string noclockreason(const Link& link);
std::optional<CalculatorClock> readclock(Link& link, Progress& progress);
bool setclock(Link& link, Progress& progress, const CalculatorClock& clock);

} // namespace tessaly
