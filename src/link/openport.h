#pragma once
#include <memory>
#include <string>

#include "link/clock.h"
#include "link/linkspec.h"
#include "link/port.h"
#include "link/transferstate.h"

namespace tessaly {

class VirtualTI92;

// An opened backend. When opening fails, port is a port without a calculator (every
// wait runs into its budget) and error says what went wrong and how to fix it.
struct OpenedPort {
    std::unique_ptr<Port> port;
    std::string error;        // empty when the backend is usable
    std::string warning;      // e.g. exclusive access refused
    std::string description;  // e.g. "virtual TI-92", "/dev/parport0"
    // Set for Kind::Virtual: the in-process calculator, for the demo controls.
    std::shared_ptr<VirtualTI92> calculator;
};

// address: the port table address chosen in the port list. Kind::Auto opens its device
// now to report problems early, and follows later changes of the address by itself.
OpenedPort openport(const LinkSpec& spec, Clock& clock, std::uint16_t address = kPortTable[0]);

} // namespace tessaly
