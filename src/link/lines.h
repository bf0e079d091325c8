#pragma once
#include <cstdint>

namespace tessaly {

// The two link lines, each high (released) or low (pulled by either side). As the
// computer's drivers, true leaves a line released and false pulls it low.
struct Lines {
    bool a = true;
    bool b = true;

    static constexpr Lines released() { return {true, true}; }
    static constexpr Lines pulla() { return {false, true}; }
    static constexpr Lines pullb() { return {true, false}; }
    static constexpr Lines pulled() { return {false, false}; }

    constexpr bool idle() const { return a && b; }
    // A line is low when either side pulls it.
    constexpr Lines operator&(Lines other) const { return {a && other.a, b && other.b}; }
    constexpr bool operator==(const Lines&) const = default;

    // The virtual cable's byte: bit 0 = line A, bit 1 = line B, set = released / high.
    static constexpr Lines fromcable(std::uint8_t value) { return {(value & 1) != 0, (value & 2) != 0}; }
    constexpr std::uint8_t cable() const { return static_cast<std::uint8_t>((a ? 1 : 0) | (b ? 2 : 0)); }
};

// On the virtual cable, the one byte a server sends a program that connects while another
// holds the cable, before it closes: no line levels (those use the low two bits only).
inline constexpr std::uint8_t kCableBusy = 'B';

} // namespace tessaly
