#pragma once
#include "link/port.h"

namespace tessaly {

// A port with nothing on it: writes go nowhere and both lines read high, so every wait
// of the byte layer runs into its budget. Stands in for a backend that could not open.
class NullPort final : public Port {
public:
    void outport(std::uint16_t, std::uint8_t) override {}
    std::uint8_t inport(std::uint16_t) override { return kNoCalculator; }

    static constexpr std::uint8_t kNoCalculator = 0xFF;
};

} // namespace tessaly
