#include "transfers/packetcommands.h"

namespace tessaly {

// Filled in with the later models; until then every model lacks both packets.
bool requestversion(Link& link, Progress&, CalculatorVersion&) {
    link.state().pendingerror = "The calculator has no version request.";
    link.state().linkok = false;
    return false;
}

bool deletebypacket(Link& link, Progress&, const std::string&) {
    link.state().pendingerror = "The calculator has no delete request.";
    link.state().linkok = false;
    return false;
}

} // namespace tessaly
