#include "link/link.h"

namespace tessaly {

namespace {
// Line state bits: bit 0 is line B, bit 1 is line A; 3 = both high (idle).
constexpr std::uint8_t kLineB = 1;
constexpr std::uint8_t kLineA = 2;
constexpr std::uint8_t kIdle = 3;
} // namespace

Link::Link(Port& port, Clock& clock, MessagePump& pump, TransferState& state)
    : m_port(&port), m_clock(&clock), m_pump(&pump), m_state(&state) {}

void Link::setlines(std::uint8_t value) { m_port->outport(m_state->portaddress, value & 3); }

void Link::releaselines() { m_port->outport(m_state->portaddress, 0xFF); }

std::uint8_t Link::readlines(std::uint32_t start) {
    const std::uint16_t status = m_state->portaddress + 1;
    std::uint8_t lines = (m_port->inport(status) & 0x30) >> 4;
    const std::uint8_t second = (m_port->inport(status) & 0x30) >> 4;
    if (second != lines) lines = (m_port->inport(status) & 0x30) >> 4;  // the third reading decides
    if (m_clock->ticks() - start > kByteBudgetMs) m_state->linkok = false;
    return lines;
}

void Link::sendbyte(std::uint8_t value) {
    TransferState& s = *m_state;
    if (!s.linkok) return;
    const std::uint32_t t0 = m_clock->ticks();
    processmessages();
    int bit = 0;
    // Waits until (lines & mask) == want, or the link fails.
    auto waitfor = [&](std::uint8_t mask, std::uint8_t want, bool acknowledgement) {
        while (s.linkok && (readlines(t0) & mask) != want)
            if (acknowledgement && m_remote) processmessages();
    };
    while (s.linkok) {
        if (readlines(t0) == kIdle) {
            if (value & (1u << bit)) {
                setlines(2);  // pull line A low
                waitfor(kLineB, 0, true);
                setlines(3);
                waitfor(kLineB, kLineB, false);
            } else {
                setlines(1);  // pull line B low
                waitfor(kLineA, 0, true);
                setlines(3);
                waitfor(kLineA, kLineA, false);
            }
            ++bit;
        }
        if (m_clock->ticks() - t0 > kByteBudgetMs) {
            s.linkok = false;
            s.pendingerror = kSendBitTimeout;
        }
        if (bit == 8) break;
    }
    if (s.linkok && m_trace) m_trace->byte(Direction::ToCalc, value);
}

std::uint8_t Link::receivebyte() {
    TransferState& s = *m_state;
    const std::uint16_t status = s.portaddress + 1;
    const std::uint32_t t0 = m_clock->ticks();
    auto intime = [&] { return m_clock->ticks() - t0 <= kByteBudgetMs; };
    std::uint8_t r = 0;
    for (int bit = 0; bit < 8; ++bit) {
        std::uint8_t st = m_port->inport(status) & 0x30;
        while (st == 0x30 && s.linkok && intime()) {
            if (m_remote) processmessages();
            st = m_port->inport(status) & 0x30;
        }
        r >>= 1;
        if (st == 0x10) {  // line A low, line B high: a 1
            r |= 0x80;
            setlines(1);
            while (!(m_port->inport(status) & 0x20) && s.linkok && intime())
                if (m_remote) processmessages();
        } else {
            setlines(2);
            while (!(m_port->inport(status) & 0x10) && s.linkok && intime())
                if (m_remote) processmessages();
        }
        setlines(3);
    }
    if (!intime()) {
        s.linkok = false;
        s.pendingerror = kReceiveTimeout;
        processmessages();
    } else if (m_remote) {
        processmessages();
    }
    if (s.linkok && m_trace) m_trace->byte(Direction::FromCalc, r);
    return r;
}

void Link::faillink(std::string_view text) {
    m_state->linkok = false;
    m_state->pendingerror = text;
}

void Link::pause(std::uint32_t ms) { m_clock->sleep(ms); }

void Link::sendstring(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        if (!m_state->linkok) break;
        sendbyte(b);
    }
}

std::array<std::uint8_t, 2> Link::sendword(std::uint16_t value) {
    const std::array<std::uint8_t, 2> bytes{static_cast<std::uint8_t>(value & 0xFF),
                                            static_cast<std::uint8_t>(value >> 8)};
    sendbyte(bytes[0]);
    sendbyte(bytes[1]);
    return bytes;
}

} // namespace tessaly
