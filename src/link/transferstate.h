#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// The one shared transfer state. Failures travel here, not as exceptions: the failing
// code clears linkok and leaves its reason in pendingerror.
struct TransferState {
    std::uint16_t portaddress = 0x378;
    bool busy = false;
    bool linkok = false;
    std::string pendingerror;
    // Bumped by the Cancel routine. A running file operation notices the bump and stops
    // cleanly, rather than having its file closed under it.
    std::uint32_t cancelgeneration = 0;
};

// What a cancel says: the Cancel button in the window, Ctrl+C on the command line.
inline constexpr std::string_view kCancelledText = "Operation cancelled.";

// The link went down without a reason: the user cancelled (or a failure already shown
// was emptied by the Cancel routine). Nothing the transfer runs into afterwards is news.
inline bool cancelled(const TransferState& state) { return !state.linkok && state.pendingerror.empty(); }

// The port table, in the order the port list shows it.
inline constexpr std::uint16_t kPortTable[3] = {0x378, 0x3BC, 0x278};

} // namespace tessaly
