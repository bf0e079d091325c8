#include "vcalc/flashseal.h"

namespace tessaly {

std::array<std::uint8_t, 64> flashseal(std::span<const std::uint8_t> sealed) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : sealed) sum += b;
    std::array<std::uint8_t, 64> seal{};
    seal.fill(0x5A);
    for (int i = 0; i < 4; ++i) seal[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * (3 - i)));
    return seal;
}

} // namespace tessaly
