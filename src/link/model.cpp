#include "link/model.h"

namespace tessaly {

std::uint8_t CalculatorModel::typecode_of(std::string_view text) const {
    for (int code = 31; code >= 0; --code)
        if (typename_of(static_cast<unsigned>(code)) == text) return static_cast<std::uint8_t>(code);
    return 0;
}

} // namespace tessaly
