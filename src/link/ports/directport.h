#pragma once
#include <cstdint>
#include <string>

#include "link/port.h"

namespace tessaly {

// A real cable through the processor's own port instructions (x86 only, as root). Every
// access goes to this port's registers whatever address the byte layer names, so a
// choice in the port list can never reach a port that was not granted.
class DirectPort final : public Port {
public:
    explicit DirectPort(std::uint16_t base) : m_base(base) {}
    ~DirectPort() override;
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    // Asks the kernel for the three registers of the port. False with error() on failure.
    bool open();
    void outport(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t inport(std::uint16_t port) override;
    std::string error() const override { return m_error; }

private:
    std::uint16_t m_base;
    bool m_granted = false;
    std::string m_error;
};

} // namespace tessaly
