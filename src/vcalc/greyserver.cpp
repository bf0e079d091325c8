#include "vcalc/greyserver.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/clock.h"
#include "vcalc/cableserver.h"

namespace tessaly {

namespace {

// A program that has just opened the port sets it up and drops what waits in its input;
// what the calculator had to say (a sending from its own menu) waits until it has.
constexpr std::uint64_t kSettleMicros = 100'000;
// The modelled line does not save up: after a pause it carries at most this many bytes at once.
constexpr std::uint64_t kBurstBytes = 8;
// Waiting for a program to open the port: a closed slave side makes the master report a
// hang-up at once, so it is looked at this often rather than waited on.
constexpr int kVacantPollMs = 20;
// While the calculator holds something back (a slow byte), it is asked again this often.
constexpr int kBusyPollMs = 20;

std::uint64_t nowmicros() { return SystemClock{}.micros(); }

int ceilms(std::uint64_t micros) { return static_cast<int>(std::min<std::uint64_t>((micros + 999) / 1000, 1000)); }

} // namespace

std::size_t GreyServer::Line::allowed(std::uint64_t now, std::uint64_t bytemicros) {
    if (clock + kBurstBytes * bytemicros < now) clock = now - kBurstBytes * bytemicros;
    return now > clock ? static_cast<std::size_t>((now - clock) / bytemicros) : 0;
}

std::uint64_t GreyServer::Line::wait(std::uint64_t now, std::uint64_t bytemicros) const {
    return clock + bytemicros > now ? clock + bytemicros - now : 0;
}

GreyServer::~GreyServer() { close(); }

bool GreyServer::open(const std::string& link, std::string* error) {
    auto fail = [&](std::string text) {
        if (error) *error = std::move(text);
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
        return false;
    };
    auto failerrno = [&](const std::string& what) { return fail(what + ": " + std::strerror(errno)); };
    if (link.empty()) return fail("give the path of the link to the grey cable's port");
    // Only a stale link of ours goes: one into /dev/pts whose terminal is gone. Anything
    // else at the path is the user's, and a live terminal may be another server's.
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            return fail(link + " exists and is not a symbolic link: give a path for the link to create "
                               "(only a stale one of ours is replaced)");
        char target[256] = {};
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        const std::string to = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
        struct stat tst {};
        if (!to.starts_with("/dev/pts/"))
            return fail(link + " is a link to " + to + ", not to a pseudo-terminal of ours: give another path, "
                        "or remove the link if it is yours");
        if (::stat(to.c_str(), &tst) == 0)
            return fail(link + " already links to " + to +
                        ": another server may use it; remove the link if it is stale, or give another path");
        ::unlink(link.c_str());
    }
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) return failerrno("cannot make a pseudo-terminal");
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    char name[128];
    if (::grantpt(m_master) < 0 || ::unlockpt(m_master) < 0 || ::ptsname_r(m_master, name, sizeof name) != 0)
        return failerrno("cannot set up the pseudo-terminal");
    m_device = name;
    // Raw from the start, and opened and closed once: from then on the master reports a
    // hang-up until a program opens the slave side, and we know whom we talk to.
    //
    // A program that closes the port and another that opens it at once may come and go
    // between two looks at the hang-up. So the master runs in packet mode and the slave
    // side with EXTPROC, which the raw setup of a serial port leaves alone: every program's
    // setting up of the port then reaches us as a notice of its own, and starts afresh.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return failerrno("cannot open " + m_device);
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_lflag |= EXTPROC;
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);
    int packetmode = 1;
    if (::ioctl(m_master, TIOCPKT, &packetmode) < 0) return failerrno("cannot set up the pseudo-terminal");
    if (::symlink(name, link.c_str()) < 0) return failerrno("cannot make the link " + link);
    m_link = link;
    return true;
}

void GreyServer::close() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
    if (!m_link.empty()) {
        // Ours only while it still points at our terminal.
        char target[256] = {};
        const ssize_t n = ::readlink(m_link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_device) ::unlink(m_link.c_str());
    }
    m_link.clear();
}

void GreyServer::takeinput(std::size_t most) {
    if (most == 0) return;
    std::uint8_t buffer[4097];  // packet mode: a status byte, then the data
    const ssize_t n = ::read(m_master, buffer, std::min(most, sizeof buffer - 1) + 1);
    if (n <= 0) return;
    if (buffer[0] != TIOCPKT_DATA) {
        // A program sets up the port (a setup notice), then says nothing until its cable
        // has powered up and it has dropped its own input (GreyPort::open), which reaches
        // us as a flush notice. So what waits unread at a setup notice is the last
        // program's and goes, unless the new program's flush has come already: then we
        // are late (a loaded machine), it may have spoken, and its first packet stays.
        // A flush notice that comes with the setup one is the last program's while we
        // still wait for that one's.
        const bool setup = buffer[0] & TIOCPKT_IOCTL, flushed = buffer[0] & TIOCPKT_FLUSHREAD;
        if (setup) {
            fresh(nowmicros(), !flushed || m_awaitflush);
            m_awaitflush = true;
        } else if (flushed) {
            m_awaitflush = false;
        }
        return;
    }
    for (ssize_t i = 1; i < n; ++i) m_calc.bytefromcomputer(buffer[i]);
    if (m_baud) m_in.carried(static_cast<std::size_t>(n - 1), 10'000'000 / m_baud);
}

void GreyServer::fresh(std::uint64_t now, bool dropinput) {
    m_held = true;
    m_pending.clear();
    if (dropinput) ::tcflush(m_master, TCIFLUSH);
    m_calc.disconnect();  // what the last program began goes with it
    m_settledat = now + kSettleMicros;
    m_in.clock = m_out.clock = now;
}

void GreyServer::run(int commandfd) {
    while (!m_stop && m_master >= 0) {
        const std::uint64_t now = nowmicros();
        const std::uint64_t bytemicros = m_baud ? 10'000'000 / m_baud : 0;
        pollfd probe{m_master, 0, 0};
        ::poll(&probe, 1, 0);
        const bool vacant = (probe.revents & POLLHUP) != 0;
        if (vacant && m_held) {
            // The program let go of the port: its exchange goes with it, and so does what it
            // said and we did not read yet (nobody can have written since).
            m_held = false;
            m_awaitflush = false;
            m_pending.clear();
            ::tcflush(m_master, TCIFLUSH);
            m_calc.disconnect();
        } else if (!vacant && !m_held) {
            fresh(now, false);  // its setup notice follows and says whether input goes
        }

        int timeout = m_held ? 200 : kVacantPollMs;
        short events = 0;
        if (m_held) {
            if (!m_baud || m_in.allowed(now, bytemicros) > 0) events |= POLLIN;
            else timeout = std::min(timeout, ceilms(m_in.wait(now, bytemicros)));
            if (now < m_settledat) {
                timeout = std::min(timeout, ceilms(m_settledat - now));
            } else if (m_pending.empty()) {
                const std::size_t most = m_baud ? std::min<std::size_t>(m_out.allowed(now, bytemicros), 4096) : 4096;
                if (most) {
                    m_pending.resize(most);
                    m_pending.resize(m_calc.bytestocomputer(m_pending));
                    if (m_baud) m_out.carried(m_pending.size(), bytemicros);
                }
                if (!m_calc.quiet())
                    timeout = std::min(timeout, most ? kBusyPollMs : ceilms(m_out.wait(now, bytemicros)));
            }
            if (!m_pending.empty()) events |= POLLOUT;
        }
        pollfd fds[2];
        nfds_t count = 0;
        if (m_held) fds[count++] = {m_master, events, 0};
        const nfds_t commands = count;
        if (commandfd >= 0) fds[count++] = {commandfd, POLLIN, 0};
        if (::poll(fds, count, timeout) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (m_held && (fds[0].revents & POLLIN))
            takeinput(m_baud ? m_in.allowed(nowmicros(), bytemicros) : std::size_t{4096});
        if (m_held && (fds[0].revents & POLLOUT) && !m_pending.empty()) {
            const ssize_t n = ::write(m_master, m_pending.data(), m_pending.size());
            if (n > 0) m_pending.erase(m_pending.begin(), m_pending.begin() + n);
        }
        if (commandfd >= 0 && fds[commands].revents && !servecommands(m_calc, commandfd, m_commandline)) return;
    }
}

} // namespace tessaly
