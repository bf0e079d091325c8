#pragma once
#include <string>
#include <string_view>

namespace tessaly {

// A name the calculator takes for a variable or a folder: 1 to 8 characters, a letter
// first, then letters, digits or underscores (bytes from 128 on are the calculator's own
// letters, in its character set).
bool validvarname(std::string_view name);

// The calculator keeps names in lower case; bytes from 128 on are left as they are.
std::string lowername(std::string_view name);

// "folder\name" with the folder made explicit: a bare name lives in main.
std::string withfolder(std::string_view name);

// "folder\name" in its parts, split at the first backslash; a bare name has no folder.
struct VariablePath {
    std::string folder;
    std::string name;
};
VariablePath splitname(std::string_view fullname);

} // namespace tessaly
