#include "vcalc/vcalc.h"

namespace tessaly {

VirtualPort::VirtualPort(VirtualCalculator& calc, SimClock* simclock, std::uint32_t accessmicros)
    : m_calc(calc), m_simclock(simclock), m_accessmicros(accessmicros) {}

void VirtualPort::setlines(Lines drivers) {
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    m_calc.setpcdrivers(drivers);
    m_calc.step();
}

Lines VirtualPort::readlines() {
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    const Lines lines = m_calc.lines();
    m_calc.step();
    return lines;
}

} // namespace tessaly
