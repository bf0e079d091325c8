#include "link/link.h"

#include <algorithm>

namespace tessaly {

namespace {
// Once bits move, the calculator answers each within microseconds and the waits of a byte
// spin. The waits at a byte's edge are different: the calculator may think for a long while
// before it sends, or before it takes another byte, and there a wait spins for a
// millisecond and then sleeps between polls. A silent calculator costs a sleeping thread
// rather than a whole core, and its answer is noticed at most a rest late.
constexpr std::uint64_t kSpinMicros = 1000;
constexpr std::uint32_t kRestMs = 1;

// The platform's 32-bit tick count at a clock reading, so that one reading serves both the
// byte's budget and the back-off.
std::uint32_t tickat(std::uint64_t micros) { return static_cast<std::uint32_t>(micros / 1000); }

// A byte-level cable is waited on in slices, with the message loop between them, so a
// Cancel is noticed within one slice of a silent wait.
constexpr std::uint32_t kReadSliceMs = kPumpEveryMs;

// The handshake of one byte over a line-level cable, its budget counted from the byte's
// start. Every poll is one reading of the lines: on a real cable each is a system call.
class Handshake {
public:
    Handshake(Port& port, Clock& clock, MessagePump& pump, TransferState& state, bool remote,
              std::uint64_t& pumped, std::uint32_t budgetms)
        : m_port(port), m_clock(clock), m_pump(pump), m_state(state), m_remote(remote), m_now(clock.micros()),
          m_t0(tickat(m_now)), m_moved(m_now), m_pumped(pumped), m_budget(budgetms) {}

    bool spent() const { return m_clock.ticks() - m_t0 > m_budget; }
    bool intime() {
        m_now = m_clock.micros();
        return tickat(m_now) - m_t0 <= m_budget;
    }

    // Polls until the lines read exactly `want`, or the link fails (the budget clears it).
    // Only the whole state counts: a reading that shows our own line otherwise than we set
    // it is no answer, so a glitch on our line never moves the handshake. A change is not
    // read a second time to be sure (that would cost 16 readings a byte): a glitch on the
    // calculator's line alone passes, and breaks the bit only when the calculator has not
    // seen our pull yet; the packet's checksum or the next wait then fails the transfer.
    // At the byte's edge (`edge`) the wait rests once the lines stood still for a while;
    // `pump` runs the message loop between polls.
    void waitfor(Lines want, bool edge, bool pump) {
        m_moved = m_now;  // we just wrote, or the byte just began: the answer is due at once
        while (m_state.linkok && poll() != want) {
            if (pump) m_pump.processmessages();
            else keepalive();
            if (edge && m_now - m_moved >= kSpinMicros) m_clock.sleep(kRestMs);
        }
    }

    // Line A pulled for a 1, line B for a 0; the calculator acknowledges by pulling the
    // other one, and lets go once we have. The wait for the release ends on idle lines, so
    // it is the next bit's look at them too. Before the first bit is taken the calculator
    // may keep us waiting; after it, it may not.
    void sendbit(bool one, bool first) {
        m_port.setlines(one ? Lines::pulla() : Lines::pullb());
        waitfor(Lines::pulled(), first, m_remote);
        m_port.setlines(Lines::released());
        waitfor(Lines::released(), false, false);
    }

    // The calculator pulls line A for a 1, line B for a 0; we acknowledge on the other
    // line until it lets go. Only the wait for the first bit may rest: that is where the
    // calculator thinks.
    bool receivebit(bool first) {
        const bool one = waitwhile([](Lines l) { return l.idle(); }, first) == Lines::pulla();
        if (one) {
            m_port.setlines(Lines::pullb());
            waitwhile([](Lines l) { return !l.a; }, false);
        } else {
            m_port.setlines(Lines::pulla());
            waitwhile([](Lines l) { return !l.b; }, false);
        }
        m_port.setlines(Lines::released());
        return one;
    }

private:
    // A wait that outlasts kPumpEveryMs lets the window in: a calculator that thinks, or
    // paces its bits slowly, must not freeze the window or keep Cancel waiting. On a
    // calculator that answers at once no wait lasts that long and nothing changes.
    void keepalive() {
        if (m_now - m_pumped < kPumpEveryMs * 1000ull) return;
        m_pump.processmessages();
        m_pumped = m_now = m_clock.micros();
    }

    Lines poll() {
        const Lines seen = m_port.readlines();
        if (!intime()) m_state.linkok = false;
        if (seen != m_seen) {
            m_seen = seen;
            m_moved = m_now;
        }
        return seen;
    }

    // Reads the lines while they show `pending`, the link is up and the budget lasts;
    // returns the last reading. The message loop runs on every poll in the remote variant.
    template <typename Pending>
    Lines waitwhile(Pending pending, bool mayrest) {
        const std::uint64_t since = m_now;
        Lines seen = m_port.readlines();
        while (pending(seen) && m_state.linkok && intime()) {
            if (m_remote) m_pump.processmessages();
            else keepalive();
            if (mayrest && m_now - since >= kSpinMicros) m_clock.sleep(kRestMs);
            seen = m_port.readlines();
        }
        return seen;
    }

    Port& m_port;
    Clock& m_clock;
    MessagePump& m_pump;
    TransferState& m_state;
    const bool m_remote;
    std::uint64_t m_now;
    const std::uint32_t m_t0;
    std::uint64_t m_moved;  // when the lines last moved, or we last moved them
    Lines m_seen;           // the last reading
    std::uint64_t& m_pumped;  // the link's: when the message loop last ran
    const std::uint32_t m_budget;
};
} // namespace

Link::Link(Port& port, Clock& clock, MessagePump& pump, TransferState& state)
    : m_port(&port), m_clock(&clock), m_pump(&pump), m_state(&state) {}

Link::Link(ByteStream& stream, Clock& clock, MessagePump& pump, TransferState& state)
    : m_port(&m_noport), m_stream(&stream), m_clock(&clock), m_pump(&pump), m_state(&state) {
    m_out.reserve(kWriteRun);
}

void Link::sendbyte(std::uint8_t value) {
    if (m_stream) return sendstreambyte(value);
    TransferState& s = *m_state;
    if (!s.linkok) return;
    Handshake h(*m_port, *m_clock, *m_pump, s, m_remote, m_pumped, bytebudget());
    processmessages();
    auto budget = [&] {
        if (!h.spent()) return;
        s.linkok = false;
        s.pendingerror = kSendBitTimeout;
    };
    // The lines are looked at before the first byte of a packet: the calculator may still
    // be busy. Inside a packet the last bit's wait for their release was that look.
    if (!m_released) h.waitfor(Lines::released(), true, false);
    budget();
    for (int bit = 0; bit < 8 && s.linkok; ++bit) {
        h.sendbit((value >> bit) & 1, bit == 0);
        budget();
    }
    m_released = s.linkok;
    if (s.linkok && m_trace) m_trace->byte(Direction::ToCalc, value);
}

std::uint8_t Link::receivebyte() {
    m_released = false;
    if (m_unreadpos < m_unread.size() && m_state->linkok) return m_unread[m_unreadpos++];
    if (m_stream) return receivestreambyte();
    TransferState& s = *m_state;
    keepalive();
    Handshake h(*m_port, *m_clock, *m_pump, s, m_remote, m_pumped, bytebudget());
    std::uint8_t r = 0;
    for (int bit = 0; bit < 8; ++bit) r = static_cast<std::uint8_t>((r >> 1) | (h.receivebit(bit == 0) ? 0x80 : 0));
    if (s.linkok && !h.intime()) {
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
    flush();  // what was said before the pause is on its way during it; the next byte looks at the lines again
    // In slices, with the message loop between them; a Cancel ends the pause, as nothing
    // after it will go over the cable.
    while (ms > 0 && m_state->linkok) {
        const std::uint32_t slice = std::min(ms, kPumpEveryMs);
        m_clock->sleep(slice);
        ms -= slice;
        keepalive();
    }
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
        keepalive();  // a slow cable takes a while over a run
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
            if (waited > bytebudget()) {
                s.linkok = false;
                s.pendingerror = kReceiveTimeout;
                processmessages();
                return 0;
            }
            const int n = m_stream->read(m_in, std::min(kReadSliceMs, bytebudget() + 1 - waited));
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
    else keepalive();
    if (s.linkok && m_trace) m_trace->byte(Direction::FromCalc, r);
    return r;
}

void Link::dropinput() {
    m_unread.clear();
    m_unreadpos = 0;
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

Link::Machine Link::acceptmachine(std::uint8_t byte) {
    if (byte == m_model->calcmachine) {
        m_modelknown = true;
        return Machine::Ours;
    }
    // Once a calculator answered, a stray byte does not make the link another model's; with a
    // model chosen, every answer of another is said (takemodel), not left to time out.
    return (!m_modelknown || m_chosen) && modelbymachine(byte) ? Machine::Another : Machine::NotOurs;
}

Link::Machine Link::takemodel(const CalculatorModel& answering) {
    m_modelknown = true;
    if (m_chosen) {
        m_mismatch = modelmismatchtext(*m_chosen, answering);
        return Machine::Mismatch;
    }
    m_model = &answering;
    return Machine::Ours;
}

void Link::versionmismatch(const CalculatorModel& answering) {
    m_mismatch = modelmismatchtext(*m_chosen, answering, true);
    faillink(m_mismatch);
}

std::string modelmismatchtext(const CalculatorModel& chosen, const CalculatorModel& answering, bool byversion) {
    // The TI-92 Plus and the Voyage 200 answer alike: the family is all the byte tells.
    const std::string_view name =
        !byversion && answering.calcmachine == kTI92Plus.calcmachine ? "TI-92 Plus or Voyage 200" : answering.name;
    return "A " + std::string(name) + " answers, not the " + std::string(chosen.name) +
           " chosen: choose the model of the calculator on the cable.";
}

} // namespace tessaly
