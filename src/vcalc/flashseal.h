#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace tessaly {

// The seal the virtual calculator expects in a Flash part's closing 020D field, computed
// from every byte before that field: a big-endian 32-bit byte sum, then 60 bytes of 5A. It
// stands in for a real signature, which only the maker can produce, and lets the calculator
// tell an intact part from one damaged on the way.
std::array<std::uint8_t, 64> flashseal(std::span<const std::uint8_t> sealed);

} // namespace tessaly
