#include "app/portbinding.h"

#include <cstdlib>

namespace tessaly::app {

namespace {

// A cable with nothing at its far end: each line reads as the computer drives it.
class NoCalculatorPort final : public Port {
public:
    void outport(std::uint16_t, std::uint8_t value) override { m_data = value; }
    std::uint8_t inport(std::uint16_t) override {
        std::uint8_t status = 0;
        if (m_data & 1) status |= kStatusLineA;
        if (m_data & 2) status |= kStatusLineB;
        return status;
    }

private:
    std::uint8_t m_data = 0xFF;
};

} // namespace

OpenedPort openlinkport(const LinkSpec&, Clock&) {
    OpenedPort opened;
    opened.port = std::make_unique<NoCalculatorPort>();
    opened.error = "This build has no cable backends yet.";
    return opened;
}

LinkSpec linkspecfromenv(std::string* error) {
    if (error) error->clear();
    return LinkSpec{};
}

} // namespace tessaly::app
