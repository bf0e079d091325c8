#pragma once
#include <string>
#include <vector>

namespace tessaly::app {

// What the command line asks for: one path to send, and whether the libraries a FARGO
// program needs go along without asking (the install switch, "/i" or "-i").
struct CommandLine {
    std::string path;
    bool install = false;
    bool any = false;  // the command line carried parameters at all
};

// Every parameter that is not the install switch belongs to the one path. A shell that
// split an unquoted path at its blanks handed us the pieces, so they are joined again
// with one blank each, which gives back a path with single blanks intact.
CommandLine parsecommandline(const std::vector<std::string>& parameters);

} // namespace tessaly::app
