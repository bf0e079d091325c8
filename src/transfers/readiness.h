#pragma once
#include <string_view>

#include "link/link.h"
#include "link/progress.h"
#include "transfers/packetcommands.h"

namespace tessaly {

inline constexpr std::string_view kReadyText = "Calculator is ready!";
inline constexpr std::string_view kNotReadyText = "Calculator is not ready!";
inline constexpr std::string_view kCheckingText = "Checking calculator.";

// The exchange of the readiness check: sends the ready check and waits for the
// acknowledgement. When it does not come, the pending error text becomes the composed
// no-contact text with the old text in its brackets. The link-ok flag is raised by the
// caller's transfer session, before its message pass: raised again here, it would undo
// a Cancel pressed during that pass. Busy flag, status line and pictures are the caller's.
// The link forgets which model answered it before, so a calculator put on the cable in
// place of another is seen by its answer.
bool readinessexchange(Link& link);

// Before an exchange that differs between models is chosen: when no calculator answered
// the link yet, a ready check, whose answer makes the link that calculator's model. False,
// the link failed with why, when none answers (or another than the chosen model does).
bool knowcalculator(Link& link);

// The readiness check, then on a model that has one the version request, which tells the
// TI-92 Plus from the Voyage 200 and gives the system's version. What answered is the
// link's model afterwards; version is left empty on a TI-92.
bool identifycalculator(Link& link, Progress& progress, CalculatorVersion& version);

// "TI-89, version 2.09" ("TI-92" alone without a version).
std::string calculatorcaption(const Link& link, const CalculatorVersion& version);

// "No contact!\nCalculator is not ready, please check your cable and port address!\nError [" + reason + "]."
std::string nocontacttext(std::string_view reason);

} // namespace tessaly
