#pragma once
#include <string_view>

#include "link/link.h"

namespace tessaly {

inline constexpr std::string_view kReadyText = "Calculator is ready!";
inline constexpr std::string_view kNotReadyText = "Calculator is not ready!";
inline constexpr std::string_view kCheckingText = "Checking calculator.";

// The exchange of the readiness check: sends the ready check and waits for the
// acknowledgement. When it does not come, the pending error text becomes the composed
// no-contact text with the old text in its brackets. The link-ok flag is raised by the
// caller's transfer session, before its message pass: raised again here, it would undo
// a Cancel pressed during that pass. Busy flag, status line and pictures are the caller's.
bool readinessexchange(Link& link);

// "No contact!\rCalculator is not ready, please check your cable and port address!\rError [" + reason + "]."
std::string nocontacttext(std::string_view reason);

} // namespace tessaly
