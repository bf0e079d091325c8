#pragma once
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "files/packagestore.h"
#include "link/model.h"

namespace tessaly {

// A variable header's data as the calculator sends it: size (unused: the data's own length
// word counts), type, name length, name, laid out as the model's header says.
struct VariableHeader {
    std::uint8_t type = 0;
    std::string name;  // at most a package record's name, as much of it as came
};

inline VariableHeader parseheader(const HeaderLayout& layout, std::span<const std::uint8_t> data) {
    VariableHeader h;
    if (data.size() < layout.nameoffset) return h;
    h.type = data[layout.typeoffset];
    const std::size_t n = std::min({std::size_t{data[layout.namelengthoffset]}, data.size() - layout.nameoffset, kPackageNameSize});
    h.name.assign(data.begin() + static_cast<std::ptrdiff_t>(layout.nameoffset),
                  data.begin() + static_cast<std::ptrdiff_t>(layout.nameoffset + n));
    return h;
}

} // namespace tessaly
