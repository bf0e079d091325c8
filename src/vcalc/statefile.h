#pragma once
#include <string>

#include "vcalc/vcalc.h"

namespace tessaly {

// The virtual TI-92's memory kept in a TI-92 group file, read and written through the
// same file reader and writer as every other TI-92 file.
bool loadcalcmemory(const std::string& path, CalcMemory& memory, std::string* error);
bool savecalcmemory(const std::string& path, const CalcMemory& memory, std::string* error);

} // namespace tessaly
