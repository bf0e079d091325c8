#include "files/varname.h"

#include <algorithm>

namespace tessaly {

namespace {
bool letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 128; }
} // namespace

bool validvarname(std::string_view name) {
    if (name.empty() || name.size() > 8 || !letter(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

std::string lowername(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string withfolder(std::string_view name) {
    return name.find('\\') == std::string_view::npos ? "main\\" + std::string(name) : std::string(name);
}

} // namespace tessaly
