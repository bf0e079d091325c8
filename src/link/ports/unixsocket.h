#pragma once
#include <string>
#include <string_view>

namespace tessaly {

// Connects to a virtual calculator's Unix socket of the given type (SOCK_STREAM for the
// link port's lines, SOCK_SEQPACKET for the Titanium's USB transfers). The descriptor, or
// -1 with *error saying what the user can do: which calculator is missing and the command
// that starts it.
int connectunixsocket(const std::string& path, int type, std::string_view cablename, std::string_view calculator,
                      std::string_view startcommand, std::string* error);

} // namespace tessaly
