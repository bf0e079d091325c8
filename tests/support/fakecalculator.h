#pragma once
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <vector>

#include "link/clock.h"
#include "link/link.h"
#include "link/port.h"
#include "link/pump.h"

namespace tessaly::test {

// The calculator's side of the two-line handshake, small enough to trust by reading:
// it takes the computer's bits, sends its own queued bits, and can be told to be slow,
// absent or to hold a line. It reacts once per reading of the lines, records every
// setting of the computer's drivers, and moves simulated time on every access.
class FakeCalculator final : public Port {
public:
    explicit FakeCalculator(SimClock& clock, std::uint32_t accessmicros = 10)
        : m_clock(clock), m_accessmicros(accessmicros) {}

    void queue(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes)
            for (int i = 0; i < 8; ++i) tx.push_back((b >> i) & 1);
    }
    void queuebits(std::initializer_list<int> bits) { tx.insert(tx.end(), bits.begin(), bits.end()); }
    // Bytes still waiting to be sent, whole bytes only.
    std::size_t queuedbytes() const { return tx.size() / 8; }

    // Readings returned before the model answers, one per read.
    std::deque<Lines> script;
    bool absent = false;  // nothing on the cable: it never pulls a line
    enum class Line { None, A, B } holdlow = Line::None;
    int lag = 0;          // status reads it waits before each reaction

    // Every setting of the computer's drivers, as the virtual cable's byte (bit 0 = line A
    // released, bit 1 = line B): 2 pulls line A, 1 pulls line B, 3 releases both.
    std::vector<std::uint8_t> writes;
    std::vector<int> rxbits;            // bits taken from the computer
    std::vector<std::uint8_t> received; // whole bytes taken from the computer
    std::deque<int> tx;
    int reads = 0;

    void setlines(Lines drivers) override {
        m_clock.advance(m_accessmicros);
        writes.push_back(drivers.cable());
        m_pc = drivers.cable();
        // A slow calculator still sees the computer let go of the lines, even when the
        // computer pulls one again for its next bit before the calculator looks.
        if (m_state == State::Releasing && m_pc == 3) m_sawrelease = true;
    }

    Lines readlines() override {
        m_clock.advance(m_accessmicros);
        ++reads;
        if (!script.empty()) {
            const Lines s = script.front();
            script.pop_front();
            return s;
        }
        if (!absent) step();
        return {lineA(), lineB()};
    }

private:
    enum class State { Idle, Acknowledging, Signalling, Releasing };

    bool pcpullsA() const { return !(m_pc & 1); }
    bool pcpullsB() const { return !(m_pc & 2); }
    bool lineA() const { return !(pcpullsA() || m_pullA || holdlow == Line::A); }
    bool lineB() const { return !(pcpullsB() || m_pullB || holdlow == Line::B); }

    void step() {
        if (m_wait > 0) {
            --m_wait;
            return;
        }
        const State before = m_state;
        switch (m_state) {
        case State::Idle:
            if (pcpullsA() != pcpullsB()) {  // the computer signals a bit
                const int bit = pcpullsA() ? 1 : 0;
                (bit ? m_pullB : m_pullA) = true;
                rxbits.push_back(bit);
                if (rxbits.size() % 8 == 0) {
                    std::uint8_t b = 0;
                    for (int i = 0; i < 8; ++i) b |= std::uint8_t(rxbits[rxbits.size() - 8 + i] << i);
                    received.push_back(b);
                }
                m_state = State::Acknowledging;
            } else if (!pcpullsA() && !pcpullsB() && !tx.empty()) {
                m_bit = tx.front();
                tx.pop_front();
                (m_bit ? m_pullA : m_pullB) = true;
                m_state = State::Signalling;
            }
            break;
        case State::Acknowledging:
            if (!pcpullsA() && !pcpullsB()) {
                m_pullA = m_pullB = false;
                m_state = State::Idle;
            }
            break;
        case State::Signalling:
            if (m_bit ? pcpullsB() : pcpullsA()) {
                m_pullA = m_pullB = false;
                m_state = State::Releasing;
            }
            break;
        case State::Releasing:
            if (m_sawrelease || (!pcpullsA() && !pcpullsB())) {
                m_sawrelease = false;
                m_state = State::Idle;
            }
            break;
        }
        if (m_state != before) m_wait = lag;
    }

    SimClock& m_clock;
    std::uint32_t m_accessmicros;
    std::uint8_t m_pc = 3;
    bool m_pullA = false;
    bool m_pullB = false;
    State m_state = State::Idle;
    int m_bit = 0;
    int m_wait = 0;
    bool m_sawrelease = false;
};

// A scripted calculator: after the computer has sent so many bytes, it answers with these.
class Responder final : public Port {
public:
    Responder(SimClock& clock, std::map<std::size_t, std::vector<std::uint8_t>> replies)
        : m_fake(clock), m_replies(std::move(replies)) {
        m_fake.lag = 3;  // lets the computer see the lines idle before the next bit
    }
    void setlines(Lines drivers) override {
        m_fake.setlines(drivers);
        answer();
    }
    Lines readlines() override {
        answer();
        return m_fake.readlines();
    }

private:
    void answer() {
        auto it = m_replies.find(m_fake.received.size());
        if (it == m_replies.end()) return;
        for (std::uint8_t b : it->second) m_fake.queue({b});
        m_replies.erase(it);
    }
    FakeCalculator m_fake;
    std::map<std::size_t, std::vector<std::uint8_t>> m_replies;
};

// Counts the passes of the message loop.
class CountingPump final : public MessagePump {
public:
    void processmessages() override { ++count; }
    int count = 0;
};

// A computer and a fake calculator on one simulated clock, the link ready to go.
struct Wire {
    SimClock clock;
    FakeCalculator calc{clock};
    CountingPump pump;
    TransferState state;
    Link link{calc, clock, pump, state};
    MemoryTrace trace;
    Wire() {
        state.linkok = true;
        link.settrace(&trace);
    }
    std::uint64_t ms() { return clock.micros() / 1000; }
};

} // namespace tessaly::test
