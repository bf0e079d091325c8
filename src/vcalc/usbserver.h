#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "link/usbpackets.h"
#include "vcalc/usbexchanges.h"
#include "vcalc/vcalc.h"

namespace tessaly {

// The raw packets of the Titanium's USB port, the calculator's end: one bulk transfer from
// the computer in, the transfers it answers with out. A buffer-size request is granted up to
// 3FF bytes; every piece of a virtual packet is acknowledged, and each piece the calculator
// sends waits for the computer's acknowledgement before the next goes. A raw packet longer
// than the granted size, or not whole in its transfer, is refused unanswered and drops the
// exchange; a virtual packet that does not add up is answered with a transmission error.
// No transfer it sends is empty: on the socket an empty message would read as a hang-up,
// so the zero-length packets the port wants are the USB transport's own affair.
class UsbEnd {
public:
    UsbEnd(CalcState& calc, Misbehaviour& misbehaviour) : m_mis(misbehaviour), m_exchanges(calc, misbehaviour) {}

    std::vector<UsbBytes> transfer(std::span<const std::uint8_t> bytes);
    // A new program on the port: the buffer size and any exchange start afresh.
    void reset();
    // Why the last refused transfer was refused; empty when the last one was taken.
    const std::string& fault() const { return m_fault; }
    std::uint32_t buffersize() const { return m_buffersize; }

private:
    void raw(const RawPacket& packet, std::vector<UsbBytes>& out);
    void queue(const std::vector<VirtualPacket>& packets);
    void sendnext(std::vector<UsbBytes>& out);

    Misbehaviour& m_mis;
    UsbExchanges m_exchanges;
    std::uint32_t m_buffersize = kTitaniumBufferSize;
    VirtualAssembler m_in;
    std::deque<RawPacket> m_out;  // pieces due; the front one is sent and awaits its acknowledgement
    bool m_awaitingack = false;
    std::string m_fault;
};

// tessaly92-vcalc --usb PATH: the Titanium's USB port on a sequenced-packet Unix socket,
// one message per bulk transfer each way. One program at a time holds it; one that comes
// while it is held gets a one-byte message (kCableBusy) and is closed. Connection follows
// connection, each a fresh session. Its faults are the link port's: absent (nothing is ever
// answered), mute (raw packets are, virtual packets not), away (the exchanges answer busy)
// and stop after N bytes both ways (the transfer that crosses them is cut there and the
// calculator is unplugged: the connection closes and later ones are never answered).
class UsbServer {
public:
    explicit UsbServer(VirtualCalculator& calc);
    ~UsbServer();
    UsbServer(const UsbServer&) = delete;
    UsbServer& operator=(const UsbServer&) = delete;

    // Binds the socket, replacing a stale socket file of that name.
    bool listen(const std::string& path, std::string* error);
    // Serves until stop(), a "quit" command, or the end of the command input.
    void run(int commandfd = -1);
    // Safe from a signal handler and from another thread.
    void stop() { m_stop = true; }
    void close();

private:
    bool serveclient();
    void dropclient();
    bool sendall(const std::vector<UsbBytes>& transfers);

    VirtualCalculator& m_calc;
    UsbEnd m_end;
    std::string m_path;
    int m_listen = -1;
    int m_client = -1;
    std::size_t m_bytes = 0;  // both ways, toward --stop-after
    std::vector<std::uint8_t> m_message;
    std::string m_commandline;
    std::atomic<bool> m_stop{false};
};

} // namespace tessaly
