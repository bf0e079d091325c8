#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/bytestream.h"
#include "link/model.h"
#include "link/clock.h"
#include "link/port.h"
#include "link/ports/nullport.h"
#include "link/pump.h"
#include "link/trace.h"
#include "link/transferstate.h"

namespace tessaly {

// Budgets of the byte layer and the acknowledgement waits.
inline constexpr std::uint32_t kByteBudgetMs = 1500;
inline constexpr std::uint32_t kAckBudgetMs = 2000;
// The longest the window goes without its messages while a transfer runs, whatever the
// cable and however slow the calculator: a click or Cancel waits at most about this long.
// Counting bytes instead would leave a slow calculator's window seconds behind.
inline constexpr std::uint32_t kPumpEveryMs = 20;

// What a calculator's version answer told of its system: the Flash exchanges and the clock
// depend on it.
struct CalculatorSystem {
    bool known = false;
    std::uint8_t major = 0, minor = 0;  // 2.09
    std::uint8_t hardware = 0;          // the hardware version (HW1, HW2...), not the raw byte
    // A calculator still on the system it was made with (1.00) has no Flash system: no ID
    // list, no applications, no certificate.
    bool upgraded() const { return major > 1 || minor > 0; }
    bool atleast(std::uint8_t wantmajor, std::uint8_t wantminor) const {
        return major != wantmajor ? major > wantmajor : minor >= wantminor;
    }
};

inline constexpr std::string_view kSendBitTimeout = "Send bit timeout";
inline constexpr std::string_view kReceiveTimeout = "The calculator did not responded [Receiving byte]";

// What a byte-level cable is handed at a time: one USB packet of the silver cable, so a
// long packet crosses in whole pieces of this size and only its tail is shorter.
inline constexpr std::size_t kWriteRun = 32;
// The TI-92 reads from a 128-byte buffer: fed faster than this per byte, it drops bytes.
inline constexpr std::uint32_t kPaceMicros = 50;

// The byte layer and the packet operations over one cable. Every operation does nothing
// once the link-ok flag of the shared state is clear, so a failed or cancelled transfer
// runs out quickly to its end.
//
// Two kinds of cable: over a line-level one (a Port) the byte layer does the bit handshake
// itself; over a byte-level one (a ByteStream) the cable does it, and the byte layer
// gathers outgoing bytes into runs and reads incoming ones from a buffer. Budgets, Cancel
// and tracing are the same on both, so nothing above knows which kind it runs on.
class Link {
public:
    Link(Port& port, Clock& clock, MessagePump& pump, TransferState& state);
    Link(ByteStream& stream, Clock& clock, MessagePump& pump, TransferState& state);
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    Port& port() { return *m_port; }
    void setport(Port& port) {
        m_port = &port;
        m_released = false;
    }
    // A byte-level cable opened again in place of one that was lost: nothing of the old
    // one's bytes is kept.
    void setstream(ByteStream& stream) {
        m_stream = &stream;
        m_port = &m_noport;
        m_out.clear();
        m_inpos = m_inlen = 0;
        m_usbin.clear();
        m_usbbuffer = 0;  // a reopened USB port starts a new session: its handshake again
    }
    Clock& clock() { return *m_clock; }
    MessagePump& pump() { return *m_pump; }
    TransferState& state() { return *m_state; }
    void settrace(TraceSink* trace) { m_trace = trace; }
    TraceSink* trace() const { return m_trace; }
    // The calculator at the other end: its machine bytes, types and layouts. The link
    // carries it because every packet and exchange over this link speaks to that model.
    const CalculatorModel& model() const { return *m_model; }
    // Taken as known from now on (the answer to a version request, say).
    void setmodel(const CalculatorModel& model) {
        m_model = &model;
        m_modelknown = true;
    }
    // A chosen model is kept whatever answers; unchosen (nullptr), the link starts as a
    // TI-92 (on a Titanium's own USB port: the Titanium) and takes the model of the first calculator that answers it.
    void choosemodel(const CalculatorModel* model) {
        m_chosen = model;
        m_model = model ? model : unchosenmodel();
        forgetmodel();
    }
    const CalculatorModel* chosenmodel() const { return m_chosen; }
    // Until a calculator answered, the next answer may name another model.
    void forgetmodel() {
        m_modelknown = false;
        m_mismatch.clear();
        m_system = {};
    }
    // What the last version answer told; unknown until one came.
    const CalculatorSystem& system() const { return m_system; }
    void setsystem(const CalculatorSystem& system) { m_system = system; }
    // More time for every byte and answer: a calculator writing its Flash between two blocks
    // says nothing for seconds. Cancel is still seen at once. Patience (below) lends it.
    std::uint32_t patience() const { return m_patience; }
    void setpatience(std::uint32_t ms) { m_patience = ms; }
    std::uint32_t bytebudget() const { return kByteBudgetMs + m_patience; }
    // What the last answer of another model than the chosen one made the link say.
    const std::string& mismatch() const { return m_mismatch; }
    // A version answer named another model than the chosen one, which shares its machine
    // byte: said as for any other model answering, and the link failed with it.
    void versionmismatch(const CalculatorModel& answering);
    bool modelknown() const { return m_modelknown; }
    // Whether a byte is the machine byte of the calculator on this link. Until a calculator
    // answered (with a model chosen: always), a byte of another model's calculator is Another: the packet layer makes
    // the link that model (takemodel) only once a whole packet followed it, so a stray
    // byte does not decide the model. Called by the packet layer for each byte that may
    // start a packet.
    enum class Machine { Ours, NotOurs, Mismatch, Another };
    Machine acceptmachine(std::uint8_t byte);
    // The first answer came from this model: the link becomes it (Ours), or with a model
    // chosen it is a mismatch instead (mismatch() says it), as guessing past it would
    // garble every exchange.
    Machine takemodel(const CalculatorModel& answering);

    // The remote-keyboard window's variant: window messages on every poll of every wait
    // and after every received byte, so keys keep arriving while one is on its way.
    void setremote(bool on) { m_remote = on; }
    bool remote() const { return m_remote; }

    // The byte-level cable, or nullptr on a line-level one.
    ByteStream* stream() const { return m_stream; }
    // The cable is the TI-89 Titanium's own USB port: each write and read of the stream is
    // one bulk transfer, and the exchanges speak its raw and virtual packets
    // (link/usbpackets.h) instead of the link protocol.
    bool directusb() const { return m_directusb; }
    void setdirectusb(bool on) {
        m_directusb = on;
        m_usbbuffer = 0;
        if (!m_chosen) m_model = unchosenmodel();
    }
    // The raw packet size the calculator granted in this session's handshake; 0 until then.
    std::uint32_t usbbuffersize() const { return m_usbbuffer; }
    void setusbbuffersize(std::uint32_t size) { m_usbbuffer = size; }
    // Bytes of a bulk transfer in that came after the raw packet taken from it.
    std::vector<std::uint8_t>& usbinput() { return m_usbin; }
    // At most one byte per kPaceMicros toward the calculator on a byte-level cable.
    void setpacing(bool on) { m_pacing = on; }
    bool pacing() const { return m_pacing; }
    // Why the cable was lost after it opened (empty while it works).
    std::string cableerror() const { return m_stream ? m_stream->error() : m_port->error(); }
    // Lost because another program holds the cable (cableerror() says so).
    bool cableheld() const { return !m_stream && m_port->heldelsewhere(); }

    // Byte layer.
    void sendbyte(std::uint8_t value);
    std::uint8_t receivebyte();
    // Clears the link-ok flag and leaves why; a cancel (the flag down without a reason)
    // stays a cancel.
    void faillink(std::string_view text);
    void pause(std::uint32_t ms);
    // Hands what was gathered to a byte-level cable; the end of every packet calls it.
    // Nothing to do on a line-level cable, whose bytes are on the wire already.
    void flush() {
        m_released = false;
        if (m_stream) flushstream();
    }
    // Drops bytes received and not read (a stray byte after a refusal); byte-level only.
    void dropinput();
    // Bytes read ahead that the next receivebyte calls give again, in order (they were
    // traced when they first came).
    void unread(std::span<const std::uint8_t> bytes) {
        m_unread.erase(m_unread.begin(), m_unread.begin() + static_cast<std::ptrdiff_t>(m_unreadpos));
        m_unread.insert(m_unread.begin(), bytes.begin(), bytes.end());
        m_unreadpos = 0;
    }
    // Lets go of both lines, so they start released (line-level cables only).
    void releaselines() {
        m_port->setlines(Lines::released());
        m_released = false;
    }

    // Runs of bytes; whole packets are the packet layer's (link/packets.h).
    void sendstring(std::span<const std::uint8_t> bytes);
    void sendstring(std::initializer_list<std::uint8_t> bytes) { sendstring(std::span(bytes.begin(), bytes.size())); }
    std::array<std::uint8_t, 2> sendword(std::uint16_t value);

private:
    // What a link takes the calculator for until one answers.
    const CalculatorModel* unchosenmodel() const { return m_directusb ? &kTI89Titanium : &kTI92; }
    void processmessages() {
        m_pump->processmessages();
        m_pumped = m_clock->micros();
    }
    // The message loop, when it has not run for kPumpEveryMs.
    void keepalive() {
        if (m_clock->micros() - m_pumped >= kPumpEveryMs * 1000ull) processmessages();
    }
    void sendstreambyte(std::uint8_t value);
    std::uint8_t receivestreambyte();
    void flushstream();

    NullPort m_noport;  // what port() gives on a byte-level cable
    Port* m_port;
    ByteStream* m_stream = nullptr;
    std::vector<std::uint8_t> m_out;           // gathered, not yet written
    std::array<std::uint8_t, 256> m_in{};      // read, not yet taken
    std::size_t m_inpos = 0, m_inlen = 0;
    std::vector<std::uint8_t> m_unread;        // given back to the next receivebyte calls
    std::size_t m_unreadpos = 0;
    std::uint64_t m_nextwrite = 0;             // pacing: the earliest time of the next run
    bool m_pacing = true;
    // The byte just sent saw both lines released at its end, and the packet goes on: the next
    // byte needs no look of its own at them. Anything else between two bytes (the packet's
    // end, a received byte, a pause) makes the next one look again.
    bool m_released = false;
    Clock* m_clock;
    MessagePump* m_pump;
    TransferState* m_state;
    TraceSink* m_trace = nullptr;
    const CalculatorModel* m_model = &kTI92;
    const CalculatorModel* m_chosen = nullptr;
    bool m_modelknown = false;
    std::string m_mismatch;
    bool m_remote = false;
    bool m_directusb = false;
    std::uint32_t m_usbbuffer = 0;
    std::vector<std::uint8_t> m_usbin;
    std::uint64_t m_pumped = 0;                // when the message loop last ran
    CalculatorSystem m_system;
    std::uint32_t m_patience = 0;
};

// The link's patience raised for one exchange, and given back whichever way it leaves.
class Patience {
public:
    Patience(Link& link, std::uint32_t ms) : m_link(link), m_before(link.patience()) { link.setpatience(ms); }
    ~Patience() { m_link.setpatience(m_before); }
    Patience(const Patience&) = delete;
    Patience& operator=(const Patience&) = delete;

private:
    Link& m_link;
    std::uint32_t m_before;
};

// What a link with a chosen model says when another model answers; named by its machine
// byte, the TI-92 Plus and the Voyage 200 are one family, by a version answer each itself.
std::string modelmismatchtext(const CalculatorModel& chosen, const CalculatorModel& answering, bool byversion = false);

} // namespace tessaly
