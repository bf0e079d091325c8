#pragma once
#include <cstdint>
#include <string_view>

#include "link/model.h"

namespace tessaly {

// The TI-92's type names, for code that has no link to ask (files, lists, the CLI).
inline std::string_view typename_of(unsigned code) { return kTI92.typename_of(code); }
inline std::uint8_t typecode_of(std::string_view name) { return kTI92.typecode_of(name); }

} // namespace tessaly
