#include "link/ports/greyport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "link/clock.h"
#include "link/link.h"

namespace tessaly {

namespace {

// A write the cable takes nothing of for this long has stalled: the same budget a byte
// has on the line-level cables.
constexpr int kWriteStallMs = static_cast<int>(kByteBudgetMs);

// 9600 baud, ten bits a byte (8N1).
constexpr std::uint64_t kByteMicros = 10'000'000 / 9600;
// How far a write may run ahead of the line. The driver would take kilobytes and return at
// once, and the wait for the answer would then include seconds of sending: the byte
// budget would run out on a calculator that is only listening. So a write returns when
// the line is about done with it, with a little left queued to keep it busy.
constexpr std::uint64_t kAheadMicros = 20'000;

// How long the cable takes to power up once DTR and RTS are raised.
constexpr int kPowerUpMs = 50;

std::uint64_t nowmicros() { return SystemClock{}.micros(); }
std::uint64_t nowms() { return nowmicros() / 1000; }

std::string notserial(const std::string& device) {
    return device + " is not a serial port: give the grey cable's device, such as /dev/ttyUSB0 or /dev/ttyS0.";
}

std::string openfailure(const std::string& device, int err) {
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "There is no serial port " + device +
               ": plug in the grey cable (a USB serial adapter shows up as /dev/ttyUSB0) and give its device.";
    case EACCES:
    case EPERM:
        return "No permission to open " + device +
               ": join the group dialout (sudo usermod -aG dialout $USER) and log in again.";
    case EBUSY:
        return device + " is in use by another program: close it and try again.";
    case EISDIR:
        return notserial(device);
    default:
        return "Cannot open " + device + ": " + std::strerror(err) + ".";
    }
}

} // namespace

GreyPort::~GreyPort() {
    if (m_fd >= 0) ::close(m_fd);
}

bool GreyPort::open() {
    m_fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        const int err = errno;
        // A link whose port is gone is most often a virtual TI-92's that was killed.
        std::error_code ec;
        const std::filesystem::path to = std::filesystem::read_symlink(m_device, ec);
        m_openerror = err == ENOENT && !ec ? m_device + " links to " + to.string() +
                                                 ", which is gone: start the program that serves it again "
                                                 "(tessaly92-vcalc --grey), or give the grey cable's device."
                                           : openfailure(m_device, err);
        return false;
    }
    auto fail = [&](std::string text) {
        m_openerror = std::move(text);
        ::close(m_fd);
        m_fd = -1;
        return false;
    };
    if (!::isatty(m_fd))
        return fail(notserial(m_device));
    // Two programs on one cable would split its bytes between them, and each would see the
    // other's exchange fail for no reason. The lock goes with the port when it closes, even
    // when the program holding it is killed.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) < 0 && errno == EWOULDBLOCK) return fail(openfailure(m_device, EBUSY));
    termios tio{};
    if (::tcgetattr(m_fd, &tio) < 0) return fail("Cannot set up " + m_device + ": " + std::strerror(errno) + ".");
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // Reads never block in the driver: poll() waits, to the millisecond.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_fd, TCSANOW, &tio) < 0)
        return fail("Cannot set " + m_device + " to 9600 baud: " + std::strerror(errno) + ".");
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(m_fd, TIOCMBIS, &lines) < 0) {
        // A pseudo-terminal (the virtual TI-92's grey cable) has no modem lines at all.
        m_warning = m_device + " has no modem lines (" + std::strerror(errno) +
                    "): a real grey cable takes its power from DTR and RTS and would stay dark here.";
    }
    // The cable powers up on those lines; what it says meanwhile is noise.
    std::this_thread::sleep_for(std::chrono::milliseconds(kPowerUpMs));
    flushinput();
    return true;
}

void GreyPort::lose(const char* what, int err) {
    if (m_lost.empty())
        m_lost = "The grey cable at " + m_device + " " + what + (err ? std::string(": ") + std::strerror(err) : "") +
                 ": plug it in again and retry.";
}

bool GreyPort::write(std::span<const std::uint8_t> bytes) {
    if (m_fd < 0) return false;
    const std::size_t count = bytes.size();
    std::uint64_t progress = nowms();
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            progress = nowms();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            lose("went away", errno);
            return false;
        }
        const std::uint64_t waited = nowms() - progress;
        if (waited >= std::uint64_t(kWriteStallMs)) return false;  // the cable takes nothing
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, kWriteStallMs - static_cast<int>(waited)) < 0 && errno != EINTR) {
            lose("went away", errno);
            return false;
        }
        if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLOUT)) {
            lose("went away", 0);
            return false;
        }
    }
    if (!m_keeppace) return true;
    const std::uint64_t now = nowmicros();
    m_lineuntil = std::max(m_lineuntil, now) + count * kByteMicros;
    if (m_lineuntil > now + kAheadMicros)
        std::this_thread::sleep_for(std::chrono::microseconds(m_lineuntil - now - kAheadMicros));
    return true;
}

int GreyPort::read(std::span<std::uint8_t> out, std::uint32_t timeoutms) {
    if (m_fd < 0) return -1;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeoutms));
    if (ready < 0) return errno == EINTR ? 0 : (lose("went away", errno), -1);
    if (ready == 0) return 0;
    const ssize_t n = ::read(m_fd, out.data(), out.size());
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // Readable but nothing there: the other end hung up.
    lose("went away", n < 0 ? errno : 0);
    return -1;
}

void GreyPort::flushinput() {
    if (m_fd >= 0) ::tcflush(m_fd, TCIFLUSH);
}

std::unique_ptr<ByteStream> opengrey(const std::string& device, std::string* error, std::string* warning) {
    auto port = std::make_unique<GreyPort>(device);
    if (!port->open()) {
        if (error) *error = port->openerror();
        return nullptr;
    }
    if (warning) *warning = port->warning();
    return port;
}

} // namespace tessaly
