#pragma once
#include <cstdint>

#include "link/lines.h"

namespace tessaly::parallel {

// The PC parallel port as the link cable uses it: the data register at the port's base
// address, whose two low bits drive line A (bit 0) and line B (bit 1), a clear bit pulling
// the line low; the status register at base + 1, which reads line A on bit 5 and line B on
// bit 4 (set = high). The other bits are not wired to the cable.
inline constexpr std::uint16_t kStatusOffset = 1;
inline constexpr std::uint8_t kStatusLineA = 0x20;
inline constexpr std::uint8_t kStatusLineB = 0x10;
// Written once the port is opened: every data bit set, both lines released.
inline constexpr std::uint8_t kDataReleased = 0xFF;
// What a port that cannot be read returns: both lines high, as with nothing attached.
inline constexpr std::uint8_t kStatusNothing = 0xFF;

constexpr std::uint8_t data(Lines drivers) {
    return static_cast<std::uint8_t>((drivers.a ? 1 : 0) | (drivers.b ? 2 : 0));
}
constexpr Lines fromstatus(std::uint8_t status) {
    return {(status & kStatusLineA) != 0, (status & kStatusLineB) != 0};
}

} // namespace tessaly::parallel
