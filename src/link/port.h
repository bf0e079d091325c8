#pragma once
#include <cstdint>
#include <string>

namespace tessaly {

// Raw access to the parallel port's registers: the data register at the port address,
// the status register at the port address + 1. Backends do raw I/O only; tracing and
// timing live above them, in Link.
class Port {
public:
    virtual ~Port() = default;
    virtual void outport(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t inport(std::uint16_t port) = 0;
    // Why the backend lost the cable after it was opened (a closed virtual cable, a
    // device that went away); empty while it works. Until then it reads as a port
    // without a calculator, so the transfer fails on its own timeouts.
    virtual std::string error() const { return {}; }
};

// Status register bits of the two link lines (set = line high).
inline constexpr std::uint8_t kStatusLineA = 0x20;
inline constexpr std::uint8_t kStatusLineB = 0x10;

} // namespace tessaly
