#include "files/varname.h"

#include <algorithm>

#include "link/byteorder.h"

namespace tessaly {

namespace {
bool letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 128; }
} // namespace

bool validvarname(std::string_view name) {
    if (name.empty() || name.size() > 8 || !letter(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

std::string lowername(std::string_view name) { return lowstring(name); }

VariablePath splitname(std::string_view fullname) {
    const auto slash = fullname.find('\\');
    if (slash == std::string_view::npos) return {{}, std::string(fullname)};
    return {std::string(fullname.substr(0, slash)), std::string(fullname.substr(slash + 1))};
}

std::string withfolder(std::string_view name) {
    return name.find('\\') == std::string_view::npos ? "main\\" + std::string(name) : std::string(name);
}

} // namespace tessaly
