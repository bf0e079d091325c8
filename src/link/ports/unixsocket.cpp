#include "link/ports/unixsocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaly {

int connectunixsocket(const std::string& path, int type, std::string_view cablename, std::string_view calculator,
                      std::string_view startcommand, std::string* error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        *error = "The ";
        *error += cablename;
        *error += " path \"" + path + "\" is empty or too long for a socket.";
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("Cannot create a socket: ") + std::strerror(errno) + ".";
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        *error = "No ";
        *error += calculator;
        *error += " answers at " + path + " (" + std::strerror(err) + "): start one with ";
        *error += startcommand;
        *error += " " + path + ".";
        return -1;
    }
    return fd;
}

} // namespace tessaly
