#include "link/typenames.h"

namespace tessaly {

const std::array<std::string_view, 32>& typenametable() {
    static const std::array<std::string_view, 32> table = [] {
        std::array<std::string_view, 32> t{};
        t[0x00] = "expression";
        t[0x04] = "list";
        t[0x06] = "matrix";
        t[0x0A] = "data";
        t[0x0B] = "text";
        t[0x0C] = "string";
        t[0x0D] = "gdb";
        t[0x0E] = "figure";
        t[0x10] = "picture";
        t[0x12] = "program";
        t[0x13] = "function";
        t[0x14] = "macro";
        t[0x1D] = "backup";
        t[0x1F] = "folder";
        return t;
    }();
    return table;
}

std::string_view typename_of(unsigned code) { return code < 32 ? typenametable()[code] : std::string_view{}; }

std::uint8_t typecode_of(std::string_view name) {
    const auto& t = typenametable();
    for (int code = 31; code >= 0; --code)
        if (t[code] == name) return static_cast<std::uint8_t>(code);
    return 0;
}

} // namespace tessaly
