#include "vcalc/cableserver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tessaly {

namespace {

bool writeall(int fd, const std::uint8_t* data, std::size_t n) {
    while (n) {
        const ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

} // namespace

CableServer::~CableServer() { close(); }

int listensocket(const std::string& path, int type, std::string* error) {
    int fd = -1;
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + " " + path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    };
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) {
        if (error) *error = "socket path too long or empty: " + path;
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("cannot create socket");
    // A socket file left by a server that did not end cleanly: nobody answers on it.
    const int probe = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        if (::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            ::close(probe);
            errno = EADDRINUSE;
            return fail("another server listens on");
        }
        ::close(probe);
    }
    // Only a stale socket goes; a file, a folder or anything else at the path is the
    // user's, and stays.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            ::close(fd);
            if (error)
                *error = path + " is " + (S_ISDIR(st.st_mode) ? "a folder" : "not a socket") +
                         ": give the path of a socket to create (or of a stale one to replace)";
            return -1;
        }
        ::unlink(path.c_str());
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0) return fail("cannot bind");
    if (::listen(fd, 4) < 0) return fail("cannot listen on");
    return fd;
}

bool CableServer::listen(const std::string& path, std::string* error) {
    m_listen = listensocket(path, SOCK_STREAM, error);
    if (m_listen < 0) return false;
    m_path = path;
    return true;
}

void CableServer::close() {
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
    m_listen = -1;
}

bool servercommand(VirtualCalculator& calc, const std::string& line, std::string& message) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    message.clear();
    if (word.empty()) return true;
    if (word == "quit") return false;
    if (word == "send") {
        std::vector<std::string> names;
        for (std::string n; in >> n;) names.push_back(n);
        if (names.empty()) message = "send: name the variables (folder\\name)";
        else if (!calc.sendfromcalc(names, &message)) message = "send: " + message;
        else message = "sending";
    } else if (word == "fcamera") {
        int mode = 0;
        if (!(in >> mode) || (mode != 1 && mode != 2)) message = "fcamera: give the mode (1 or 2)";
        else {
            calc.fcamerastream(mode);
            message = "streaming";
        }
    } else if (word == "key") {
        unsigned code = 0;
        if (!(in >> code) || code > 0xFFFF) message = "key: give a key code";
        else calc.presskey(static_cast<std::uint16_t>(code));
    } else {
        message = "unknown command: " + word + " (send, fcamera, key, quit)";
    }
    return true;
}

bool servecommands(VirtualCalculator& calc, int& fd, std::string& pending) {
    char buffer[512];
    const ssize_t k = ::read(fd, buffer, sizeof buffer);
    if (k < 0 && errno == EINTR) return true;
    if (k <= 0) {
        fd = -1;  // no more commands; keep serving the cable
        return true;
    }
    pending.append(buffer, static_cast<std::size_t>(k));
    for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::string message;
        if (!servercommand(calc, line, message)) return false;
        if (!message.empty()) {
            std::printf("%s\n", message.c_str());
            std::fflush(stdout);
        }
    }
    return true;
}

// Handles what the connected program sent; false once it has gone.
bool CableServer::serveclient() {
    std::uint8_t in[4096];
    std::uint8_t replies[4096];
    const ssize_t n = ::recv(m_client, in, sizeof in, 0);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) return false;
    std::size_t r = 0;
    for (ssize_t i = 0; i < n; ++i) {
        const std::uint8_t b = in[i];
        if (m_wantvalue) {
            m_wantvalue = false;
            m_calc.setpcdrivers(Lines::fromcable(b));
            m_calc.step();
        } else if (b == 'w') {
            m_wantvalue = true;
        } else if (b == 'r') {
            replies[r++] = m_calc.lines().cable();
            m_calc.step();
        }
    }
    return r == 0 || writeall(m_client, replies, r);
}

void CableServer::run(int commandfd) {
    while (!m_stop && m_listen >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {m_client >= 0 ? m_client : m_listen, POLLIN, 0};
        const bool commands = commandfd >= 0;
        if (commands) fds[count++] = {commandfd, POLLIN, 0};
        const nfds_t waiting = count;  // the listening socket, while a program holds the cable
        const bool held = m_client >= 0;
        if (held) fds[count++] = {m_listen, POLLIN, 0};
        if (::poll(fds, count, 200) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) {
            if (m_client < 0) {
                m_client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (m_client >= 0) {
                    m_wantvalue = false;
                    m_calc.disconnect();  // a new program starts with its lines released
                }
            } else if (!serveclient()) {
                ::close(m_client);
                m_client = -1;
                m_calc.disconnect();
            }
        }
        // One cable, one program: another that connects meanwhile is told the calculator is
        // busy, instead of being left to think it stopped answering. The program before it
        // was served first: one that left before the next came has let go of the cable.
        if (held && m_client >= 0 && fds[waiting].revents) {
            // What the holder still had to say is taken first, to the end it may have reached.
            for (pollfd p{m_client, POLLIN, 0}; m_client >= 0 && ::poll(&p, 1, 0) > 0 && p.revents; p.revents = 0) {
                if (serveclient()) continue;
                ::close(m_client);
                m_client = -1;
                m_calc.disconnect();
            }
        }
        if (held && m_client >= 0 && fds[waiting].revents) {
            const int other = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (other >= 0) {
                writeall(other, &kCableBusy, 1);
                ::close(other);
            }
        }
        if (commands && fds[1].revents && !servecommands(m_calc, commandfd, m_commandline)) return;
    }
}

} // namespace tessaly
