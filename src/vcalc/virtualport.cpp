#include "vcalc/vcalc.h"

namespace tessaly {

VirtualPort::VirtualPort(VirtualTI92& calc, SimClock* simclock, std::uint32_t accessmicros)
    : m_calc(calc), m_simclock(simclock), m_accessmicros(accessmicros) {}

void VirtualPort::outport(std::uint16_t port, std::uint8_t value) {
    m_lastaddress = port;
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    m_calc.setpcdrivers(Lines::fromcable(value));
    m_calc.step();
}

std::uint8_t VirtualPort::inport(std::uint16_t port) {
    m_lastaddress = port;
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    const Lines lines = m_calc.lines();
    m_calc.step();
    return lines.status();
}

} // namespace tessaly
