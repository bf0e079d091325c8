#pragma once
#include <cstdint>
#include <string>

namespace tessaly {

// The one shared transfer state. Failures travel here, not as exceptions: the failing
// code clears linkok and leaves its reason in pendingerror.
struct TransferState {
    std::uint16_t portaddress = 0x378;
    bool busy = false;
    bool linkok = false;
    std::string pendingerror;
    // Bumped by the Cancel routine. The Windows version of tessaly92 closed the shared transfer
    // file under a running file operation; ours notice the bump and stop cleanly instead.
    std::uint32_t cancelgeneration = 0;
};

// The port table, in the order the port list shows it.
inline constexpr std::uint16_t kPortTable[3] = {0x378, 0x3BC, 0x278};

} // namespace tessaly
