#include "vcalc/bitengine.h"

#include <algorithm>

namespace tessaly {

namespace {
// A calculator gives up a bit the computer leaves hanging for longer than this.
constexpr std::uint64_t kBitPatienceMicros = 2'000'000;
// While waiting on the computer, the clock is looked at only every so many steps.
constexpr std::uint32_t kStallCheckSteps = 32;
} // namespace

BitEngine::BitEngine(Clock& clock, const Misbehaviour& misbehaviour, Listener& listener)
    : m_clock(clock), m_mis(misbehaviour), m_listener(listener) {
    m_out.reserve(16384);
}

// The computer let the bit engine hang too long: drop the bit and the exchange.
inline bool BitEngine::stale(std::uint64_t now) const {
    if (!busy() || m_slowsince || m_patient) return false;
    return now - m_lastmove > kBitPatienceMicros;
}

void BitEngine::reset() {
    m_bit = Bit::Idle;
    m_idlereads = 0;
    m_calc = Lines::released();
    m_rxcount = 0;
    m_txcount = 0;
    m_out.clear();
    m_outpos = 0;
    m_slowsince.reset();
    m_patient = false;
}

void BitEngine::drop() {
    reset();
    m_listener.dropped();
}

// Called before every change of our lines: notices a hang and paces us.
// Returns false when we may not move yet.
inline bool BitEngine::maymove() {
    const std::uint64_t now = m_clock.micros();
    if (!m_pacemicros) {
        if (stale(now)) drop();
        m_lastmove = now;
        return true;
    }
    if (now < m_readyat) return false;
    if (stale(now)) drop();
    m_lastmove = now;
    m_readyat = now + m_pacemicros;
    return true;
}

inline void BitEngine::waiting() {
    if (++m_stallsteps < kStallCheckSteps) return;
    m_stallsteps = 0;
    if (busy() && stale(m_clock.micros())) drop();
}

void BitEngine::step() {
    if (dead()) return;
    switch (m_bit) {
    case Bit::Idle: return stepidle();
    case Bit::RxAck: return steprxack();
    case Bit::TxSignal: return steptxsignal();
    case Bit::TxRelease: return steptxrelease();
    }
}

// Lines idle: our next bit may begin; else the computer begins one.
inline void BitEngine::stepidle() {
    if (m_pc.idle()) {
        if (m_outpos < m_out.size()) {
            if (m_idlereads >= 2 && slowok()) {
                if (!maymove()) return;
                if (m_outpos >= m_out.size()) return;  // a hang just dropped it
                m_bitvalue = (m_out[m_outpos] >> m_txcount) & 1;
                m_calc = m_bitvalue ? Lines::pulla() : Lines::pullb();
                m_bit = Bit::TxSignal;
            } else {
                waiting();
            }
        } else if (m_rxcount) {
            waiting();
        }
        return;
    }
    if (m_pc == Lines::pulla() || m_pc == Lines::pullb()) {
        if (!maymove()) return;
        // A pulled means a 1, acknowledged on B; B pulled a 0, acknowledged on A.
        m_bitvalue = m_pc == Lines::pulla();
        m_calc = m_bitvalue ? Lines::pullb() : Lines::pulla();
        m_bit = Bit::RxAck;
    }
}

// We acknowledged the computer's bit: it lets go of its line, and the bit is ours.
inline void BitEngine::steprxack() {
    if (!(m_bitvalue ? m_pc.a : m_pc.b)) return waiting();
    if (!maymove()) return;
    if (m_bit != Bit::RxAck) return;
    m_calc = Lines::released();
    m_bit = Bit::Idle;
    m_idlereads = 0;
    m_rxvalue = static_cast<std::uint8_t>((m_rxvalue >> 1) | (m_bitvalue ? 0x80 : 0));
    if (++m_rxcount == 8) {
        m_rxcount = 0;
        bytein(m_rxvalue);
    }
}

// We pulled a line: the computer acknowledges on the other one.
inline void BitEngine::steptxsignal() {
    if (m_bitvalue ? m_pc.b : m_pc.a) return waiting();
    if (!maymove()) return;
    if (m_bit != Bit::TxSignal) return;
    m_calc = Lines::released();
    m_bit = Bit::TxRelease;
    m_patient = false;
}

// We let go: the computer lets go of its acknowledgement, and the bit is out.
inline void BitEngine::steptxrelease() {
    if (!(m_bitvalue ? m_pc.b : m_pc.a)) return waiting();
    m_bit = Bit::Idle;
    m_idlereads = 0;
    if (++m_txcount == 8) {
        m_txcount = 0;
        byteout(m_out[m_outpos++]);
        if (m_outpos == m_out.size()) {
            m_out.clear();
            m_outpos = 0;
        }
    }
}

// A byte the misbehaviour says to hold back waits here before its first bit.
inline bool BitEngine::slowok() {
    if (!m_mis.slowbyte || m_txcount != 0 || m_bytesout != m_mis.slowbyte->first) return true;
    const std::uint64_t now = m_clock.micros();
    if (!m_slowsince) m_slowsince = now;
    if (now - *m_slowsince < std::uint64_t{m_mis.slowbyte->second} * 1000) return false;
    m_lastmove = now;
    return true;
}

inline void BitEngine::counted() {
    if (m_mis.stopafterbytes && m_bytesin + m_bytesout >= *m_mis.stopafterbytes) {
        m_stopped = true;
        m_calc = Lines::released();
        m_bit = Bit::Idle;
    }
}

inline void BitEngine::byteout(std::uint8_t value) {
    if (m_tracing) m_trace.byte(Direction::FromCalc, value);
    m_slowsince.reset();
    ++m_bytesout;
    counted();
}

inline void BitEngine::bytein(std::uint8_t value) {
    if (m_tracing) m_trace.byte(Direction::ToCalc, value);
    ++m_bytesin;
    counted();
    m_listener.bytein(value);
}

void BitEngine::cablebytein(std::uint8_t value) {
    if (!dead()) bytein(value);
}

std::size_t BitEngine::cablebytesout(std::span<std::uint8_t> out) {
    std::size_t n = 0;
    while (n < out.size() && m_outpos < m_out.size() && !dead() && slowok()) {
        const std::uint8_t b = m_out[m_outpos++];
        out[n++] = b;
        m_patient = false;
        byteout(b);
    }
    if (m_outpos == m_out.size()) {
        m_out.clear();
        m_outpos = 0;
    }
    return n;
}

void BitEngine::disconnect() {
    m_pc = Lines::released();
    // An exchange that program began goes with it: an answer it left unread would
    // otherwise collide with the next program's first packet. What we were told to send
    // from our own menu has not begun yet and still waits for whoever comes next.
    if (!m_patient) drop();
    if (!dead()) m_calc = Lines::released();
    m_bit = Bit::Idle;
    m_rxcount = 0;
    m_txcount = 0;
    m_idlereads = 0;
}

void BitEngine::setpace(std::uint32_t bitspersecond) {
    // Two line changes of ours per bit.
    m_pacemicros = bitspersecond ? std::max<std::uint32_t>(1, 500000 / bitspersecond) : 0;
}

void BitEngine::cleartrace() {
    m_trace.clear();
    m_bytesin = m_bytesout = 0;
}

} // namespace tessaly
