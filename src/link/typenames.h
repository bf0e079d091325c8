#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace tessaly {

// The 32-entry type-name table, indexed by the type code.
const std::array<std::string_view, 32>& typenametable();
// The name of a type code; empty for a code without a name or above 31.
std::string_view typename_of(unsigned code);
// The highest code whose name equals the text (an empty text gives 30, the highest
// unnamed code).
std::uint8_t typecode_of(std::string_view name);

} // namespace tessaly
