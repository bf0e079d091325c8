#include "vcalc/statefile.h"

namespace tessaly {

// Placeholder until the TI-92 file reader and writer exist.
bool loadcalcmemory(const std::string&, CalcMemory&, std::string* error) {
    if (error) *error = "state files are not supported yet";
    return false;
}

bool savecalcmemory(const std::string&, const CalcMemory&, std::string* error) {
    if (error) *error = "state files are not supported yet";
    return false;
}

} // namespace tessaly
