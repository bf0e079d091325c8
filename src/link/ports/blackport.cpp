#include "link/ports/blackport.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/ports/nullport.h"

namespace tessaly {

namespace {

// Which modem line carries which bus line. Each bus wire is driven by one output and read
// back by one input of the cable (red: RTS out, CTS in; white: DTR out, DSR in), and Link
// tells the two sides of a bit apart by the wire: it pulls one line and waits for the
// other. So a wire must sit on the same link line on both sides, or Link would take its
// own pull for the calculator's acknowledgement. Red is line A and white line B, as on the
// parallel cable, whose data register drives line A with bit 0 and line B with bit 1 (RTS
// is modem bit 0 here, DTR bit 1). An asserted line leaves its wire high (the cable
// inverts).
constexpr int kDriveA = TIOCM_RTS;  // red
constexpr int kDriveB = TIOCM_DTR;  // white
constexpr int kSenseA = TIOCM_CTS;  // red
constexpr int kSenseB = TIOCM_DSR;  // white

int modembits(Lines drivers) { return (drivers.a ? kDriveA : 0) | (drivers.b ? kDriveB : 0); }

Lines sensed(int modem) { return {(modem & kSenseA) != 0, (modem & kSenseB) != 0}; }

} // namespace

TtyModemLines::~TtyModemLines() {
    if (m_fd >= 0) ::close(m_fd);
}

int TtyModemLines::set(int bits) { return ::ioctl(m_fd, TIOCMSET, &bits) == 0 ? 0 : errno; }

int TtyModemLines::get(int* bits) { return ::ioctl(m_fd, TIOCMGET, bits) == 0 ? 0 : errno; }

std::string blackopenerror(const std::string& device, int errnum) {
    switch (errnum) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return device + " does not exist: plug in the serial adapter, or pick another port "
                        "(tessaly92-cli cables lists the serial ports it finds).";
    case EACCES:
    case EPERM:
        return "No permission to use " + device + ": add your user to the group dialout "
               "(sudo usermod -aG dialout $USER) and log in again.";
    case EBUSY:
        return device + " is busy: another program holds the serial port. Close it and try again.";
    case ENOTTY:
    case EINVAL:
        return device + " has no modem lines (not a serial port, or a pseudo-terminal): the black cable "
                        "needs a serial port with RTS, DTR, CTS and DSR.";
    case EIO:
        return device + " stopped answering (a USB-serial adapter unplugged?).";
    default:
        return "Cannot use " + device + ": " + std::strerror(errnum) + ".";
    }
}

BlackPort::BlackPort(std::string device) : m_device(std::move(device)) {}

BlackPort::BlackPort(std::unique_ptr<ModemLines> lines, std::string device)
    : m_device(std::move(device)), m_lines(std::move(lines)) {}

BlackPort::~BlackPort() = default;

bool BlackPort::open() {
    m_error.clear();
    if (!m_lines) {
        // Non-blocking, so a port whose carrier line is down opens at once; no controlling
        // terminal, so the cable's lines cannot hang us up.
        const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            m_error = blackopenerror(m_device, errno);
            return false;
        }
        if (!::isatty(fd)) {
            ::close(fd);
            m_error = blackopenerror(m_device, ENOTTY);
            return false;
        }
        // Nobody else toggles the lines under a transfer.
        ::ioctl(fd, TIOCEXCL);
        m_lines = std::make_unique<TtyModemLines>(fd);
    }
    int bits = 0;
    int err = m_lines->get(&bits);
    if (err == 0) err = m_lines->set(kDriveA | kDriveB);
    if (err != 0) {
        m_error = blackopenerror(m_device, err);
        m_lines.reset();
        return false;
    }
    m_written = kDriveA | kDriveB;
    return true;
}

void BlackPort::lost(int errnum) {
    if (m_error.empty()) m_error = blackopenerror(m_device, errnum);
}

void BlackPort::setlines(Lines drivers) {
    if (!m_lines) return;
    const int bits = modembits(drivers);
    // Every line access may be a USB transaction on an adapter: do not repeat one.
    if (bits == m_written) return;
    if (const int err = m_lines->set(bits)) {
        m_written = -1;
        lost(err);
        return;
    }
    m_written = bits;
}

Lines BlackPort::readlines() {
    if (!m_lines) return NullPort::kNoCalculator;
    int bits = 0;
    if (const int err = m_lines->get(&bits)) {
        lost(err);
        return NullPort::kNoCalculator;
    }
    const Lines wire = sensed(bits);
    m_read = true;
    if (wire.idle()) m_seenhigh = true;
    return wire;
}

std::string BlackPort::error() const {
    if (!m_error.empty()) return m_error;
    if (m_read && !m_seenhigh)
        return "CTS and DSR of " + m_device + " never rose: the black cable gets no power from RTS and DTR, "
               "or the serial adapter lacks these lines (adapters with an FTDI FT232R chip are known to work), "
               "or the cable is not plugged in.";
    return {};
}

} // namespace tessaly
