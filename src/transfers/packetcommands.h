#pragma once
#include <string>

#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

// What a calculator says of itself when asked for its version.
struct CalculatorVersion {
    std::string model;     // "TI-92 Plus", "Voyage 200", "TI-89", ...
    std::string version;   // the operating system's version, e.g. "2.09"
    std::string hardware;  // the hardware's version, as the calculator gives it
};

// The exchanges the later models have packets for. On a model without the packet
// (link.model().hasversioncommand / hasdeletecommand false) they fail at once with a
// pending error text saying so, and send nothing.

// The version request and its answer. False with the reason pending when it fails.
bool requestversion(Link& link, Progress& progress, CalculatorVersion& answer);

// Deletes one variable ("folder\name") through the delete packet. False with the
// calculator's refusal or the link's failure pending.
bool deletebypacket(Link& link, Progress& progress, const std::string& fullname);

} // namespace tessaly
