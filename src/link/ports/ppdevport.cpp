#include "link/ports/ppdevport.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "link/ports/parallel.h"

#if defined(__linux__)
#include <linux/parport.h>
#include <linux/ppdev.h>
#define TESSALY_HAVE_PPDEV 1
#endif

namespace tessaly {

namespace fs = std::filesystem;

namespace {

// The first number of a base-addr file ("888\t1912"); -1 when there is none.
long firstnumber(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) return -1;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    return end != text.c_str() && value >= 0 ? value : -1;
}

} // namespace

fs::path ppdevdevicefor(std::uint16_t address, const PpdevPaths& paths) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(paths.proc, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("parport") || name.size() == 7) continue;
        if (name.find_first_not_of("0123456789", 7) != std::string::npos) continue;
        if (firstnumber(entry.path() / "base-addr") == address) return paths.dev / name;
    }
    for (std::size_t i = 0; i < std::size(kPortTable); ++i)
        if (kPortTable[i] == address) return paths.dev / ("parport" + std::to_string(i));
    return {};
}

std::string ppdevopenerror(const fs::path& device, int errnum) {
    const std::string dev = device.string();
    switch (errnum) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return dev + " does not exist: load the parallel port drivers (sudo modprobe parport_pc ppdev), "
                     "or this computer has no parallel port.";
    case EACCES:
    case EPERM:
        return "No permission to use " + dev + ": add your user to the group lp "
               "(sudo usermod -aG lp $USER) and log in again.";
    case EBUSY:
        return dev + " is busy: a printer driver holds the port. Unload it (sudo rmmod lp) "
                     "or stop the print spooler, then try again.";
    case ENOTTY:
    case EINVAL:
        return dev + " is not a parallel port device (ppdev).";
    default:
        return "Cannot use " + dev + ": " + std::strerror(errnum) + ".";
    }
}

PpdevPort::PpdevPort(const TransferState& portlist, PpdevPaths paths)
    : m_portlist(&portlist), m_paths(std::move(paths)) {}

PpdevPort::PpdevPort(fs::path device) : m_device(std::move(device)) {}

PpdevPort::~PpdevPort() { release(); }

bool PpdevPort::open() {
    m_tried = false;
    return ready();
}

void PpdevPort::setlines(Lines drivers) {
#ifdef TESSALY_HAVE_PPDEV
    if (!ready()) return;
    unsigned char data = parallel::data(drivers);
    ioctl(m_fd, PPWDATA, &data);
#else
    (void)drivers;
#endif
}

Lines PpdevPort::readlines() {
    unsigned char status = parallel::kStatusNothing;
#ifdef TESSALY_HAVE_PPDEV
    if (ready() && ioctl(m_fd, PPRSTATUS, &status) != 0) status = parallel::kStatusNothing;
#endif
    return parallel::fromstatus(status);
}

bool PpdevPort::ready() {
    if (m_portlist && (!m_tried || m_portlist->portaddress != m_base)) {
        release();
        m_base = m_portlist->portaddress;
        m_device = ppdevdevicefor(m_base, m_paths);
        m_tried = false;
    }
    if (!m_tried) {
        release();
        m_tried = true;
        m_error.clear();
        m_warning.clear();
        if (m_device.empty()) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04X", m_base);
            m_error = std::string("No parallel port device is known for the port address ") + hex + ".";
        } else {
            claim(m_device);
        }
    }
    return m_fd >= 0;
}

bool PpdevPort::claim(const fs::path& device) {
#ifdef TESSALY_HAVE_PPDEV
    // Exclusive first, so a printer driver cannot toggle the lines under a transfer; the
    // kernel refuses that while another driver (lp) is registered on the port, and then
    // sharing is still better than no cable.
    for (bool exclusive : {true, false}) {
        const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            m_error = ppdevopenerror(device, errno);
            return false;
        }
        if (exclusive) ioctl(fd, PPEXCL);
        if (ioctl(fd, PPCLAIM) == 0) {
            m_fd = fd;
            unsigned char released = parallel::kDataReleased;
            ioctl(m_fd, PPWDATA, &released);
            if (!exclusive)
                m_warning = device.string() + " is shared with another driver (probably the printer driver lp); "
                                              "if transfers fail, unload it with sudo rmmod lp.";
            return true;
        }
        const int err = errno;
        ::close(fd);
        if (err == ENOTTY || err == EINVAL || err == EFAULT) {
            m_error = ppdevopenerror(device, ENOTTY);
            return false;
        }
        if (!exclusive) {
            m_error = ppdevopenerror(device, err == ENXIO ? EBUSY : err);
            return false;
        }
    }
    return false;
#else
    m_error = device.string() + ": the parallel-port driver interface (ppdev) exists only on Linux.";
    return false;
#endif
}

void PpdevPort::release() {
    if (m_fd < 0) return;
#ifdef TESSALY_HAVE_PPDEV
    ioctl(m_fd, PPRELEASE);
#endif
    ::close(m_fd);
    m_fd = -1;
}

} // namespace tessaly
