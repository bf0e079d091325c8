#include "link/ports/usbsocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/lines.h"
#include "link/ports/unixsocket.h"

namespace tessaly {

UsbSocketStream::~UsbSocketStream() {
    if (m_fd >= 0) ::close(m_fd);
}

bool UsbSocketStream::open() {
    m_error.clear();
    const int fd = connectunixsocket(m_path, SOCK_SEQPACKET, "virtual USB cable", "virtual TI-89 Titanium",
                                     "tessaly92-vcalc --model ti89t --usb", &m_error);
    if (fd < 0) return false;
    m_fd = fd;
    return true;
}

void UsbSocketStream::lose(std::string why) {
    if (m_error.empty()) m_error = std::move(why);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool UsbSocketStream::write(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0) return false;
    for (;;) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n == ssize_t(bytes.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        lose("The virtual TI-89 Titanium's USB end went away.");
        return false;
    }
}

int UsbSocketStream::read(std::span<std::uint8_t> out, std::uint32_t timeoutms) {
    if (m_fd < 0) return -1;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, int(timeoutms));
    if (ready < 0) return errno == EINTR ? 0 : (lose("The virtual TI-89 Titanium's USB end failed."), -1);
    if (ready == 0) return 0;
    // MSG_TRUNC gives the message's whole length: a transfer larger than the reader's buffer
    // would lose its tail unseen.
    const ssize_t n = ::recv(m_fd, out.data(), out.size(), MSG_TRUNC);
    if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : (lose("The virtual TI-89 Titanium's USB end failed."), -1);
    // An empty message is a zero-length packet; an empty read with the peer gone is its end.
    if (n == 0 && (p.revents & (POLLHUP | POLLERR))) {
        lose("The virtual TI-89 Titanium's USB end went away.");
        return -1;
    }
    if (std::size_t(n) > out.size()) {
        lose("The virtual TI-89 Titanium sent a USB transfer of " + std::to_string(n) + " bytes, more than its port carries.");
        return -1;
    }
    // The server's word that another program holds the port: one byte, where no raw packet
    // is shorter than five.
    if (n == 1 && out[0] == kCableBusy) {
        lose("Another program holds the virtual TI-89 Titanium's USB port at " + m_path + ": close it and try again.");
        return -1;
    }
    return int(n);
}

} // namespace tessaly
