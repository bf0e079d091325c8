#include "vcalc/usbserver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/lines.h"
#include "vcalc/cableserver.h"

namespace tessaly {

namespace {

constexpr std::uint8_t kAckPayload[] = {0xE0, 0x00};
// The least buffer it grants: room for a virtual packet's header and some data.
constexpr std::uint32_t kLeastBuffer = 16;

std::uint32_t be32(std::span<const std::uint8_t> b) {
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

UsbBytes be32bytes(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

} // namespace

// ---------------------------------------------------------------- raw packets

void UsbEnd::reset() {
    m_buffersize = kTitaniumBufferSize;
    m_in = VirtualAssembler{};
    m_out.clear();
    m_awaitingack = false;
    m_exchanges.reset();
}

std::vector<UsbBytes> UsbEnd::transfer(std::span<const std::uint8_t> bytes) {
    m_fault.clear();
    std::vector<UsbBytes> out;
    if (m_mis.absent) return out;
    // A transfer may carry raw packets one after another; each must be whole in it.
    for (std::size_t at = 0; at < bytes.size();) {
        const auto rest = bytes.subspan(at);
        std::string why;
        if (rest.size() < kRawHeaderSize) {
            why = "a raw packet cut short: " + std::to_string(rest.size()) + " bytes, not even its header";
        } else if (const std::uint32_t length = be32(rest); length > m_buffersize) {
            why = "a raw packet of " + std::to_string(length) + " bytes, more than the granted " +
                  std::to_string(m_buffersize);
        } else if (rest.size() - kRawHeaderSize < length) {
            why = "a raw packet cut short: " + std::to_string(rest.size() - kRawHeaderSize) + " of " +
                  std::to_string(length) + " bytes";
        } else if (const auto packet = parseraw(rest.first(kRawHeaderSize + length), m_buffersize, &why)) {
            raw(*packet, out);
            at += kRawHeaderSize + length;
            continue;
        }
        // The transfer is refused unanswered, and the exchange it belonged to with it.
        m_fault = why;
        reset();
        break;
    }
    return out;
}

void UsbEnd::raw(const RawPacket& packet, std::vector<UsbBytes>& out) {
    switch (packet.type) {
    case RawType::BufferSizeRequest:
        if (packet.payload.size() != 4) {
            m_fault = "a buffer size request of " + std::to_string(packet.payload.size()) + " bytes";
            return;
        }
        m_buffersize = std::clamp(be32(packet.payload), kLeastBuffer, kTitaniumBufferSize);
        out.push_back(rawbytes({RawType::BufferSizeAnswer, be32bytes(m_buffersize)}));
        return;
    case RawType::VirtualMore:
    case RawType::VirtualLast: {
        // The computer speaks while a packet of ours waited for its acknowledgement: it has
        // given that packet up.
        m_out.clear();
        m_awaitingack = false;
        out.push_back(rawbytes({RawType::Ack, UsbBytes(std::begin(kAckPayload), std::end(kAckPayload))}));
        const auto whole = m_in.take(packet);
        if (!m_in.error().empty()) {
            m_fault = "a virtual packet whose pieces do not add up to its size";
            m_exchanges.reset();
            if (!m_mis.mute) queue({{vtype::Error, {0x00, static_cast<std::uint8_t>(usbcalcerror::Transmission)}}});
        } else if (whole && !m_mis.mute) {
            queue(m_exchanges.take(*whole));
        }
        sendnext(out);
        return;
    }
    case RawType::Ack:
        if (m_awaitingack) {
            m_out.pop_front();
            m_awaitingack = false;
            sendnext(out);
        }
        return;
    case RawType::BufferSizeAnswer:
        m_fault = "a buffer size answer from the computer";
        return;
    }
}

void UsbEnd::queue(const std::vector<VirtualPacket>& packets) {
    for (const VirtualPacket& p : packets)
        for (RawPacket& piece : splitvirtual(p, m_buffersize)) m_out.push_back(std::move(piece));
}

void UsbEnd::sendnext(std::vector<UsbBytes>& out) {
    if (m_awaitingack || m_out.empty()) return;
    out.push_back(rawbytes(m_out.front()));
    m_awaitingack = true;
}

// ---------------------------------------------------------------- the socket

UsbServer::UsbServer(VirtualCalculator& calc) : m_calc(calc), m_end(calc.state(), calc.misbehaviour()) {}

UsbServer::~UsbServer() { close(); }

bool UsbServer::listen(const std::string& path, std::string* error) {
    m_listen = listensocket(path, SOCK_SEQPACKET, error);
    if (m_listen < 0) return false;
    m_path = path;
    return true;
}

void UsbServer::close() {
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
    m_listen = -1;
}

void UsbServer::dropclient() {
    ::close(m_client);
    m_client = -1;
    m_end.reset();
}

// Sends each transfer as one message; past --stop-after's count the calculator is unplugged
// mid-transfer: what it had sent of it stays sent, and the connection closes.
bool UsbServer::sendall(const std::vector<UsbBytes>& transfers) {
    Misbehaviour& mis = m_calc.misbehaviour();
    for (const UsbBytes& t : transfers) {
        std::size_t n = t.size();
        const bool cut = mis.stopafterbytes && m_bytes + n > *mis.stopafterbytes;
        if (cut) n = *mis.stopafterbytes - std::min(m_bytes, *mis.stopafterbytes);
        m_bytes += n;
        if (n && ::send(m_client, t.data(), n, MSG_NOSIGNAL) < 0) return false;
        if (cut) {
            mis.absent = true;
            return false;
        }
    }
    return true;
}

// Handles one message of the connected program; false once it has gone (or the calculator
// was unplugged).
bool UsbServer::serveclient() {
    std::vector<std::uint8_t>& in = m_message;
    in.resize(1 << 16);
    const ssize_t n = ::recv(m_client, in.data(), in.size(), 0);
    if (n < 0 && errno == EINTR) return true;
    if (n < 0) return false;
    if (n == 0) {
        // An empty message (a zero-length packet) reads like a hang-up: only a hang-up
        // leaves the socket shut.
        pollfd p{m_client, POLLRDHUP, 0};
        return !(::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP)));
    }
    Misbehaviour& mis = m_calc.misbehaviour();
    if (mis.absent) return true;
    m_bytes += static_cast<std::size_t>(n);
    if (mis.stopafterbytes && m_bytes > *mis.stopafterbytes) {
        mis.absent = true;
        return false;
    }
    const auto out = m_end.transfer({in.data(), static_cast<std::size_t>(n)});
    if (!m_end.fault().empty()) std::fprintf(stderr, "tessaly92-vcalc: USB transfer refused: %s\n", m_end.fault().c_str());
    return sendall(out);
}

void UsbServer::run(int commandfd) {
    while (!m_stop && m_listen >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {m_client >= 0 ? m_client : m_listen, POLLIN, 0};
        const bool commands = commandfd >= 0;
        if (commands) fds[count++] = {commandfd, POLLIN, 0};
        const nfds_t waiting = count;
        const bool held = m_client >= 0;
        if (held) fds[count++] = {m_listen, POLLIN, 0};
        if (::poll(fds, count, 200) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) {
            if (m_client < 0) {
                m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (m_client >= 0) m_end.reset();
            } else if (!serveclient()) {
                dropclient();
            }
        }
        // One port, one program: another that opens it meanwhile is told it is in use. The
        // holder is heard out first: one that closed just before (a program that opened the
        // port to read its name, and opens it again) has let go of it.
        if (held && m_client >= 0 && fds[waiting].revents) {
            for (pollfd p{m_client, POLLIN, 0}; m_client >= 0 && ::poll(&p, 1, 0) > 0 && p.revents; p.revents = 0)
                if (!serveclient()) dropclient();
        }
        if (held && m_client >= 0 && fds[waiting].revents) {
            const int other = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (other >= 0) {
                ::send(other, &kCableBusy, 1, MSG_NOSIGNAL);
                ::close(other);
            }
        }
        if (commands && fds[1].revents && !servecommands(m_calc, commandfd, m_commandline)) return;
    }
}

} // namespace tessaly
