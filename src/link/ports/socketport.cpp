#include "link/ports/socketport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/ports/nullport.h"
#include "link/ports/unixsocket.h"

namespace tessaly {

namespace {
constexpr unsigned char kWrite = 'w';
constexpr unsigned char kRead = 'r';
} // namespace

SocketPort::~SocketPort() {
    if (m_fd < 0) return;
    flush();  // the last line release reaches the calculator
    if (m_fd >= 0) ::close(m_fd);
}

bool SocketPort::open() {
    m_error.clear();
    m_held = false;
    const int fd = connectunixsocket(m_path, SOCK_STREAM, "virtual cable", "virtual TI-92", "tessaly92-vcalc --socket",
                                     &m_error);
    if (fd < 0) return false;
    m_fd = fd;
    m_npending = 0;
    return true;
}

void SocketPort::setlines(Lines drivers) {
    if (m_fd < 0) return;
    if (m_npending + 3 > sizeof m_pending && !flush()) return;  // room for the read that follows
    m_pending[m_npending++] = kWrite;
    m_pending[m_npending++] = drivers.cable();
}

Lines SocketPort::readlines() {
    if (m_fd < 0) return NullPort::kNoCalculator;
    m_pending[m_npending++] = kRead;  // setlines always leaves room for it
    if (!flush()) return NullPort::kNoCalculator;
    unsigned char levels = 0;
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        const int n = ::poll(&p, 1, kAnswerTimeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            lose("stopped answering");
            return NullPort::kNoCalculator;
        }
        const ssize_t got = ::read(m_fd, &levels, 1);
        if (got == 1 && levels == kCableBusy) {
            losebusy();
            return NullPort::kNoCalculator;
        }
        if (got == 1) break;
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        lose(got == 0 ? "closed the cable" : std::string("failed: ") + std::strerror(errno));
        return NullPort::kNoCalculator;
    }
    return Lines::fromcable(levels);
}

bool SocketPort::flush() {
    std::size_t done = 0;
    while (done < m_npending) {
        const ssize_t n = ::send(m_fd, m_pending + done, m_npending - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A server that is busy says so and hangs up, maybe before our first write: its
            // answer then waits unread behind the failed write.
            const int err = errno;
            unsigned char answer = 0;
            if (::recv(m_fd, &answer, 1, MSG_DONTWAIT) == 1 && answer == kCableBusy) losebusy();
            else lose(std::string("closed the cable (") + std::strerror(err) + ")");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_npending = 0;
    return true;
}

void SocketPort::losebusy() {
    lose("is busy with another program");
    m_held = true;
}

void SocketPort::lose(const std::string& why) {
    m_error = "The virtual TI-92 at " + m_path + " " + why + ".";
    ::close(m_fd);
    m_fd = -1;
    m_npending = 0;
}

} // namespace tessaly
