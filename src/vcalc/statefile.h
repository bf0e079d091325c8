#pragma once
#include <string>

#include "vcalc/vcalc.h"

namespace tessaly {

// The virtual TI-92's memory kept in a TI-92 group file, read and written through the
// same file reader and writer as every other TI-92 file.
// A later model's state file is its own group file (.89g, .9xg, .v2g), signed for it.
// Empty when the model's memory can be kept in the file its path names (a group file of
// the model's own extension); else why not.
std::string statefileproblem(const std::string& path, const CalculatorModel& model);
bool loadcalcmemory(const std::string& path, CalcMemory& memory, std::string* error,
                    const CalculatorModel& model = kTI92);
bool savecalcmemory(const std::string& path, const CalcMemory& memory, std::string* error,
                    const CalculatorModel& model = kTI92);

// A later model's Flash (applications, system version, the wait for a system, the clock)
// has no place in a group file: it is kept in a file of its own beside it, which a state
// file made before Flash lacks (the calculator then keeps what it starts with).
std::string flashstatepath(const std::string& statepath);
bool loadcalcflash(const std::string& path, CalcFlash& flash, std::string* error);
bool savecalcflash(const std::string& path, const CalcFlash& flash, std::string* error);

} // namespace tessaly
