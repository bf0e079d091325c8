#pragma once
#include "link/clock.h"
#include "link/linkspec.h"
#include "link/openport.h"

namespace tessaly::app {

// Opens the cable the LINK string names (or the port list's parallel port).
OpenedPort openlinkport(const LinkSpec& spec, Clock& clock);

// What the environment asks for, TESSALY92_LINK; a string that names no backend is
// reported in error and gives the port list's parallel port.
LinkSpec linkspecfromenv(std::string* error);

} // namespace tessaly::app
