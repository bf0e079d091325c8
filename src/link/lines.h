#pragma once
#include <cstdint>

#include "link/port.h"

namespace tessaly {

// The two link lines, each high (released) or low (pulled by either side). Two encodings
// of them meet at the cable: the parallel port's status register (line A on 0x20, line B
// on 0x10) and the virtual cable's byte, which is also the low two bits of the data
// register (bit 0 = line A, bit 1 = line B, set = released / high).
struct Lines {
    bool a = true;
    bool b = true;

    static constexpr Lines released() { return {true, true}; }
    static constexpr Lines pulla() { return {false, true}; }
    static constexpr Lines pullb() { return {true, false}; }

    constexpr bool idle() const { return a && b; }
    // A line is low when either side pulls it.
    constexpr Lines operator&(Lines other) const { return {a && other.a, b && other.b}; }
    constexpr bool operator==(const Lines&) const = default;

    static constexpr Lines fromstatus(std::uint8_t status) {
        return {(status & kStatusLineA) != 0, (status & kStatusLineB) != 0};
    }
    constexpr std::uint8_t status() const {
        return static_cast<std::uint8_t>((a ? kStatusLineA : 0) | (b ? kStatusLineB : 0));
    }
    static constexpr Lines fromcable(std::uint8_t value) { return {(value & 1) != 0, (value & 2) != 0}; }
    constexpr std::uint8_t cable() const { return static_cast<std::uint8_t>((a ? 1 : 0) | (b ? 2 : 0)); }
};

// On the virtual cable, the one byte a server sends a program that connects while another
// holds the cable, before it closes: no line levels (those use the low two bits only).
inline constexpr std::uint8_t kCableBusy = 'B';

} // namespace tessaly
