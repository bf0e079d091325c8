#include "link/ports/directport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/ports/parallel.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define TESSALY_HAVE_PORTIO 1
#endif

namespace tessaly {

namespace {
std::string hexaddress(std::uint16_t base) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", base);
    return text;
}
} // namespace

DirectPort::~DirectPort() {
#ifdef TESSALY_HAVE_PORTIO
    if (m_granted) ioperm(m_base, 3, 0);
#endif
}

bool DirectPort::open() {
    m_error.clear();
#ifdef TESSALY_HAVE_PORTIO
    if (m_base > 0xFFFF - 2) {
        m_error = "direct:" + hexaddress(m_base) + " is not a parallel port address.";
        return false;
    }
    if (ioperm(m_base, 3, 1) == 0) {
        m_granted = true;
        outb(parallel::kDataReleased, m_base);
        return true;
    }
    const int err = errno;
    if (err == EPERM || err == EACCES)
        m_error = "Direct port I/O at " + hexaddress(m_base) +
                  " needs root. Run as root, or use ppdev instead (--link ppdev:/dev/parport0, "
                  "with your user in the group lp).";
    else
        m_error = "Direct port I/O at " + hexaddress(m_base) + " was refused: " + std::strerror(err) + ".";
    return false;
#else
    m_error = "Direct port I/O exists only on x86 Linux; use ppdev instead (--link ppdev:/dev/parport0).";
    return false;
#endif
}

void DirectPort::setlines(Lines drivers) {
#ifdef TESSALY_HAVE_PORTIO
    if (m_granted) outb(parallel::data(drivers), m_base);
#else
    (void)drivers;
#endif
}

Lines DirectPort::readlines() {
    std::uint8_t status = parallel::kStatusNothing;
#ifdef TESSALY_HAVE_PORTIO
    if (m_granted) status = inb(static_cast<std::uint16_t>(m_base + parallel::kStatusOffset));
#endif
    return parallel::fromstatus(status);
}

} // namespace tessaly
