#include "link/link.h"

#include <algorithm>

namespace tessaly {

namespace {
// Line state bits: bit 0 is line B, bit 1 is line A; 3 = both high (idle).
constexpr std::uint8_t kLineB = 1;
constexpr std::uint8_t kLineA = 2;
constexpr std::uint8_t kIdle = 3;
// No line state: nothing is believed yet, so the next reading needs a second one.
constexpr std::uint8_t kUnknown = 0xFF;

// Once bits move, the calculator answers each within microseconds and the waits of a byte
// spin. The waits at a byte's edge are different: the calculator may think for a long while
// before it sends, or before it takes another byte, and there a wait spins for a
// millisecond and then sleeps between polls. A silent calculator costs a sleeping thread
// rather than a whole core, and its answer is noticed at most a rest late.
constexpr std::uint64_t kSpinMicros = 1000;
constexpr std::uint32_t kRestMs = 1;

std::uint8_t linestate(std::uint8_t status) { return (status & 0x30) >> 4; }

// One sample of the lines, given the state believed so far. A reading that shows the
// believed state stands alone; one that shows a change is believed only when a second
// reading agrees, and when the two disagree a third decides. A glitch of one reading thus
// never moves the handshake, while a steady line costs one access a poll: on a real cable
// every access is a system call.
std::uint8_t sample(Port& port, std::uint16_t status, std::uint8_t believed) {
    const std::uint8_t first = linestate(port.inport(status));
    if (first == believed) return first;
    const std::uint8_t second = linestate(port.inport(status));
    return second == first ? second : linestate(port.inport(status));
}

// The platform's 32-bit tick count at a clock reading, so that one reading serves both the
// byte's budget and the back-off.
std::uint32_t tickat(std::uint64_t micros) { return static_cast<std::uint32_t>(micros / 1000); }

// A byte-level cable is waited on in slices, with the message loop between them, so a
// Cancel is noticed within one slice of a silent wait.
constexpr std::uint32_t kReadSliceMs = 50;
} // namespace

Link::Link(Port& port, Clock& clock, MessagePump& pump, TransferState& state)
    : m_port(&port), m_clock(&clock), m_pump(&pump), m_state(&state) {}

Link::Link(ByteStream& stream, Clock& clock, MessagePump& pump, TransferState& state)
    : m_port(&m_noport), m_stream(&stream), m_clock(&clock), m_pump(&pump), m_state(&state) {
    m_out.reserve(kWriteRun);
}

void Link::setlines(std::uint8_t value) { m_port->outport(m_state->portaddress, value & 3); }

void Link::releaselines() { m_port->outport(m_state->portaddress, 0xFF); }

std::uint8_t Link::readlines(std::uint32_t start) {
    const std::uint8_t lines = sample(*m_port, m_state->portaddress + 1, kUnknown);
    if (m_clock->ticks() - start > kByteBudgetMs) m_state->linkok = false;
    return lines;
}

void Link::sendbyte(std::uint8_t value) {
    if (m_stream) return sendstreambyte(value);
    TransferState& s = *m_state;
    if (!s.linkok) return;
    std::uint64_t now = m_clock->micros();
    const std::uint32_t t0 = tickat(now);
    processmessages();
    const std::uint16_t status = s.portaddress + 1;
    // Believed afresh in every byte: time and the message loop pass between two bytes.
    std::uint8_t lines = kUnknown;
    std::uint64_t moved = now;  // when the lines last moved, or we last moved them
    auto poll = [&] {
        const std::uint8_t seen = sample(*m_port, status, lines);
        now = m_clock->micros();
        if (tickat(now) - t0 > kByteBudgetMs) s.linkok = false;
        if (seen != lines) {
            lines = seen;
            moved = now;
        }
        return lines;
    };
    int bit = 0;
    // Before the first bit is taken the calculator may keep us waiting; after it, it may not.
    auto rest = [&] {
        if (bit == 0 && now - moved >= kSpinMicros) m_clock->sleep(kRestMs);
    };
    // Waits until (lines & mask) == want, or the link fails.
    auto waitfor = [&](std::uint8_t mask, std::uint8_t want, bool acknowledgement) {
        moved = now;  // we just wrote: the answer is due at once
        while (s.linkok && (poll() & mask) != want) {
            if (acknowledgement && m_remote) processmessages();
            if (acknowledgement) rest();
        }
    };
    bool fresh = false;  // the release wait has just sampled the lines
    while (s.linkok) {
        if ((fresh ? lines : poll()) == kIdle) {
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
            fresh = true;
        } else {
            fresh = false;
        }
        if (m_clock->ticks() - t0 > kByteBudgetMs) {
            s.linkok = false;
            s.pendingerror = kSendBitTimeout;
        }
        if (bit == 8) break;
        if (!fresh) rest();
    }
    if (s.linkok && m_trace) m_trace->byte(Direction::ToCalc, value);
}

std::uint8_t Link::receivebyte() {
    if (m_stream) return receivestreambyte();
    TransferState& s = *m_state;
    const std::uint16_t status = s.portaddress + 1;
    std::uint64_t now = m_clock->micros();
    const std::uint32_t t0 = tickat(now);
    auto intime = [&] {
        now = m_clock->micros();
        return tickat(now) - t0 <= kByteBudgetMs;
    };
    // Reads the status until it no longer shows `pending` under `mask`, the link fails or
    // the budget runs out; returns the last reading, bits 4 and 5 only. Only the wait for
    // the first bit may rest: that is where the calculator thinks.
    auto waitwhile = [&](std::uint8_t mask, std::uint8_t pending, bool mayrest) {
        const std::uint64_t since = now;
        std::uint8_t st = m_port->inport(status) & 0x30;
        while ((st & mask) == pending && s.linkok && intime()) {
            if (m_remote) processmessages();
            if (mayrest && now - since >= kSpinMicros) m_clock->sleep(kRestMs);
            st = m_port->inport(status) & 0x30;
        }
        return st;
    };
    std::uint8_t r = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const std::uint8_t st = waitwhile(0x30, 0x30, bit == 0);
        r >>= 1;
        if (st == 0x10) {  // line A low, line B high: a 1
            r |= 0x80;
            setlines(1);
            waitwhile(0x20, 0, false);  // until line A is high again
        } else {
            setlines(2);
            waitwhile(0x10, 0, false);  // until line B is high again
        }
        setlines(3);
    }
    if (s.linkok && !intime()) {
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
    // After a cancel the transfer runs out into failed waits; they are no news to the
    // user, who asked for the stop and was told so.
    if (cancelled(*m_state)) return;
    m_state->linkok = false;
    m_state->pendingerror = text;
}

void Link::pause(std::uint32_t ms) {
    flush();  // what was said before the pause is on its way during it
    m_clock->sleep(ms);
}

void Link::sendstring(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        if (!m_state->linkok) break;
        sendbyte(b);
    }
    flush();
}

// ---------------------------------------------------------------- byte-level cables

// As on a line-level cable: the message loop once at the start of every byte, nothing
// once the link-ok flag is clear. The byte waits for its run to be complete.
void Link::sendstreambyte(std::uint8_t value) {
    TransferState& s = *m_state;
    if (!s.linkok) return;
    processmessages();
    if (!s.linkok) return;
    m_out.push_back(value);
    if (m_out.size() >= kWriteRun) flushstream();
}

void Link::flushstream() {
    TransferState& s = *m_state;
    // A cancelled packet is not finished: the calculator drops its remnant as it would
    // one the line-level cable broke off.
    for (std::size_t done = 0; done < m_out.size() && s.linkok;) {
        const std::size_t n = std::min(kWriteRun, m_out.size() - done);
        std::uint64_t now = m_clock->micros();
        if (m_pacing && now < m_nextwrite) {
            m_clock->sleep(static_cast<std::uint32_t>((m_nextwrite - now + 999) / 1000));
            now = m_clock->micros();
        }
        const std::span<const std::uint8_t> run(m_out.data() + done, n);
        if (!m_stream->write(run)) {
            s.linkok = false;
            s.pendingerror = kSendBitTimeout;
            break;
        }
        if (m_trace)
            for (std::uint8_t b : run) m_trace->byte(Direction::ToCalc, b);
        // A rate, not a gap: time spent in a write that had to wait counts toward it.
        if (m_pacing) m_nextwrite = std::max(m_nextwrite, now) + n * kPaceMicros;
        done += n;
    }
    m_out.clear();
}

std::uint8_t Link::receivestreambyte() {
    TransferState& s = *m_state;
    flushstream();  // the calculator answers what it was told, so it must be told first
    if (!s.linkok) return 0;
    if (m_inpos == m_inlen) {
        m_inpos = m_inlen = 0;
        const std::uint32_t t0 = m_clock->ticks();
        for (;;) {
            const std::uint32_t waited = m_clock->ticks() - t0;
            if (waited > kByteBudgetMs) {
                s.linkok = false;
                s.pendingerror = kReceiveTimeout;
                processmessages();
                return 0;
            }
            const int n = m_stream->read(m_in, std::min(kReadSliceMs, kByteBudgetMs + 1 - waited));
            if (n > 0) {
                m_inlen = static_cast<std::size_t>(n);
                break;
            }
            // A lost cable fails like a silent one; the cable's own error says the rest.
            if (n < 0) {
                s.linkok = false;
                s.pendingerror = kReceiveTimeout;
                processmessages();
                return 0;
            }
            processmessages();
            if (!s.linkok) return 0;
        }
    }
    const std::uint8_t r = m_in[m_inpos++];
    if (m_remote) processmessages();
    if (s.linkok && m_trace) m_trace->byte(Direction::FromCalc, r);
    return r;
}

void Link::dropinput() {
    if (!m_stream) return;
    m_inpos = m_inlen = 0;
    m_stream->flushinput();
}

std::array<std::uint8_t, 2> Link::sendword(std::uint16_t value) {
    const std::array<std::uint8_t, 2> bytes{static_cast<std::uint8_t>(value & 0xFF),
                                            static_cast<std::uint8_t>(value >> 8)};
    sendbyte(bytes[0]);
    sendbyte(bytes[1]);
    return bytes;
}

} // namespace tessaly
