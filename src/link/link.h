#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/clock.h"
#include "link/port.h"
#include "link/pump.h"
#include "link/trace.h"
#include "link/transferstate.h"

namespace tessaly {

// Budgets of the byte layer and the acknowledgement waits.
inline constexpr std::uint32_t kByteBudgetMs = 1500;
inline constexpr std::uint32_t kAckBudgetMs = 2000;

inline constexpr std::string_view kSendBitTimeout = "Send bit timeout";
inline constexpr std::string_view kReceiveTimeout = "The calculator did not responded [Receiving byte]";

// The byte layer and the packet operations over one port. Every operation does nothing
// once the link-ok flag of the shared state is clear, so a failed or cancelled transfer
// runs out quickly to its end.
class Link {
public:
    Link(Port& port, Clock& clock, MessagePump& pump, TransferState& state);

    Port& port() { return *m_port; }
    void setport(Port& port) { m_port = &port; }
    Clock& clock() { return *m_clock; }
    MessagePump& pump() { return *m_pump; }
    TransferState& state() { return *m_state; }
    void settrace(TraceSink* trace) { m_trace = trace; }
    TraceSink* trace() const { return m_trace; }

    // The remote-keyboard window's variant: window messages on every poll of every wait
    // and after every received byte, so keys keep arriving while one is on its way.
    void setremote(bool on) { m_remote = on; }
    bool remote() const { return m_remote; }

    // Byte layer.
    void setlines(std::uint8_t value);
    std::uint8_t readlines(std::uint32_t start);
    void sendbyte(std::uint8_t value);
    std::uint8_t receivebyte();
    void faillink(std::string_view text);
    void pause(std::uint32_t ms);
    // Writes 0xFF to the data register so both lines start released.
    void releaselines();

    // Runs of bytes; whole packets are the packet layer's (link/packets.h).
    void sendstring(std::span<const std::uint8_t> bytes);
    void sendstring(std::initializer_list<std::uint8_t> bytes) { sendstring(std::span(bytes.begin(), bytes.size())); }
    std::array<std::uint8_t, 2> sendword(std::uint16_t value);

private:
    void processmessages() { m_pump->processmessages(); }

    Port* m_port;
    Clock* m_clock;
    MessagePump* m_pump;
    TransferState* m_state;
    TraceSink* m_trace = nullptr;
    bool m_remote = false;
};

} // namespace tessaly
