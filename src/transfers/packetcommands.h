#pragma once
#include <string>

#include "link/link.h"
#include "link/packets.h"
#include "link/progress.h"

namespace tessaly {

// What a calculator says of itself when asked for its version.
struct CalculatorVersion {
    std::string model;     // "TI-92 Plus", "Voyage 200", "TI-89", ...
    std::string version;   // the operating system's version, e.g. "2.09"
    std::string hardware;  // the hardware's version, as the calculator gives it
};

inline constexpr std::string_view kVersionRequestNoAckText = "The calculator did not acknowledge the version request.";
inline constexpr std::string_view kNoVersionText = "The calculator's version answer was not understood.";
inline constexpr std::string_view kNoAckDeleteText = "The calculator did not acknowledge the delete request.";
inline constexpr std::string_view kNotDeletedText = "The calculator refused to delete ";

// The exchanges the later models have packets for. On a model without the packet
// (link.model().hasversioncommand / hasdeletecommand false) they fail at once with a
// pending error text saying so, and send nothing.

// The version request and its answer. False with the reason pending when it fails. On a
// link whose model was not chosen, the answer settles the model (a TI-92 Plus or a
// Voyage 200 answer the ready check alike).
bool requestversion(Link& link, Progress& progress, CalculatorVersion& answer);

// What a refusal's reason code says, as " (...)" to follow a message; empty without a code.
std::string refusalreason(const CalculatorModel& model, const Packet& refusal);

// Deletes one variable ("folder\name") through the delete packet. False with the
// calculator's refusal or the link's failure pending.
bool deletebypacket(Link& link, Progress& progress, const std::string& fullname);

} // namespace tessaly
