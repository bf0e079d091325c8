#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/clock.h"
#include "link/lines.h"
#include "link/trace.h"
#include "vcalc/vcalc.h"

namespace tessaly {

// The calculator's side of the two-line handshake: takes the computer's bits into bytes,
// clocks its own bytes out bit by bit, keeps the calculator's pace and gives up on a
// computer that leaves a bit hanging. It knows nothing of packets.
class BitEngine {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // A whole byte from the computer.
        virtual void bytein(std::uint8_t value) = 0;
        // The computer hung in the middle of a bit: the exchange above is dropped too.
        virtual void dropped() = 0;
    };

    BitEngine(Clock& clock, const Misbehaviour& misbehaviour, Listener& listener);

    // The computer's two line drivers; the levels on the wire (and the computer's reads of
    // the idle lines, which pace our next bit).
    void setpc(Lines pc) { m_pc = pc; }
    Lines lines() {
        Lines v = dead() ? m_pc : m_pc & m_calc;
        if (m_mis.holdlow == Misbehaviour::Line::A) v.a = false;
        if (m_mis.holdlow == Misbehaviour::Line::B) v.b = false;
        if (v.idle() && m_idlereads < 2) ++m_idlereads;
        return v;
    }
    void step();

    // Queues bytes to go out after what already waits.
    void send(std::span<const std::uint8_t> bytes) { m_out.insert(m_out.end(), bytes.begin(), bytes.end()); }
    // A bit or byte half done, or bytes waiting to go out.
    bool busy() const { return m_bit != Bit::Idle || m_rxcount != 0 || m_outpos < m_out.size(); }
    // Nothing on the cable answers any more (absent, stopped, a line held low).
    bool dead() const { return m_mis.absent || m_stopped || m_mis.holdlow != Misbehaviour::Line::None; }
    // Our own first bit waits for the computer however long it takes (a sending from our
    // own menu, a stream): no giving up on it, and a new connection does not drop it.
    void setpatient() { m_patient = true; }
    void disconnect();

    // A byte-level cable between us and the computer (the grey cable's own electronics move
    // the bits): whole bytes in, and up to out.size() of the waiting bytes out (the count).
    // Misbehaviour, byte counts and the trace are the same as bit by bit.
    void cablebytein(std::uint8_t value);
    std::size_t cablebytesout(std::span<std::uint8_t> out);

    void setpace(std::uint32_t bitspersecond);
    const MemoryTrace& trace() const { return m_trace; }
    void cleartrace();
    void settracing(bool on) { m_tracing = on; }

private:
    enum class Bit : std::uint8_t { Idle, RxAck, TxSignal, TxRelease };

    void reset();
    void drop();
    // Inline (defined in bitengine.cpp, used only there): they run on every port access.
    inline bool stale(std::uint64_t now) const;
    inline bool maymove();
    inline void waiting();
    inline bool slowok();
    inline void counted();
    inline void byteout(std::uint8_t value);
    inline void bytein(std::uint8_t value);
    inline void stepidle();
    inline void steprxack();
    inline void steptxsignal();
    inline void steptxrelease();

    Clock& m_clock;
    const Misbehaviour& m_mis;
    Listener& m_listener;
    MemoryTrace m_trace;
    bool m_tracing = true;

    Lines m_pc;    // the computer's drivers
    Lines m_calc;  // ours
    Bit m_bit = Bit::Idle;
    bool m_bitvalue = false;  // the bit being moved
    std::uint8_t m_rxcount = 0, m_rxvalue = 0;
    std::uint8_t m_txcount = 0;
    // How often the computer read the idle lines since our last bit. A real calculator is
    // slow enough that a computer reading the lines twice to be sure sees them idle both
    // times; an instant one waits for both reads, so such a program works against it too.
    std::uint8_t m_idlereads = 2;
    bool m_patient = false;
    std::vector<std::uint8_t> m_out;
    std::size_t m_outpos = 0;
    std::uint32_t m_pacemicros = 0;  // per line change; 0 = at once
    std::uint64_t m_readyat = 0;
    std::uint64_t m_lastmove = 0;
    std::uint32_t m_stallsteps = 0;
    std::size_t m_bytesin = 0, m_bytesout = 0;
    bool m_stopped = false;
    std::optional<std::uint64_t> m_slowsince;
};

} // namespace tessaly
