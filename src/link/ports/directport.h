#pragma once
#include <cstdint>
#include <string>

#include "link/port.h"

namespace tessaly {

// A real cable through the processor's own port instructions (x86 only, as root), at the
// base address the LINK names: the port list's choice never reaches a port that was not
// granted.
class DirectPort final : public Port {
public:
    explicit DirectPort(std::uint16_t base) : m_base(base) {}
    ~DirectPort() override;
    DirectPort(const DirectPort&) = delete;
    DirectPort& operator=(const DirectPort&) = delete;

    // Asks the kernel for the three registers of the port and releases both lines. False
    // with error() on failure.
    bool open();
    void setlines(Lines drivers) override;
    Lines readlines() override;
    std::string error() const override { return m_error; }

private:
    std::uint16_t m_base;
    bool m_granted = false;
    std::string m_error;
};

} // namespace tessaly
