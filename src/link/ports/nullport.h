#pragma once
#include "link/port.h"

namespace tessaly {

// A port with nothing on it: writes go nowhere and both lines read high, so every wait
// of the byte layer runs into its budget. Stands in for a backend that could not open.
class NullPort final : public Port {
public:
    void setlines(Lines) override {}
    Lines readlines() override { return kNoCalculator; }

    static constexpr Lines kNoCalculator = Lines::released();
};

} // namespace tessaly
