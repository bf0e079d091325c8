#include "link/sharedfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaly {

SharedFile::~SharedFile() { close(); }

bool SharedFile::open(const std::filesystem::path& path, Mode mode, std::string* error) {
    close();
    m_path = path;
    m_ok = true;
    m_error.clear();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    do {
        m_fd = ::open(path.c_str(), flags, 0644);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        fail(mode == Mode::Create ? "cannot be created" : "cannot be opened", errno);
        if (error) *error = m_error;
        return false;
    }
    return true;
}

void SharedFile::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::uint64_t SharedFile::size() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

void SharedFile::writebytes(std::string_view bytes) {
    if (m_fd < 0) {
        fail("is not open for writing");
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail("could not be written completely", n < 0 ? errno : ENOSPC);
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string SharedFile::readbytes(std::uint32_t offset, std::size_t count) {
    std::string out;
    if (m_fd < 0) {
        fail("is not open for reading");
        return out;
    }
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        fail("cannot be positioned", errno);
        return out;
    }
    out.resize(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_fd, out.data() + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail("could not be read", errno);
            break;
        }
        if (n == 0) {
            fail("ends too early");
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
}

std::uint16_t SharedFile::readwordle(std::uint32_t offset) {
    const std::string b = readbytes(offset, 2);
    if (b.size() < 2) return 0;
    return static_cast<std::uint16_t>(std::uint8_t(b[0]) | std::uint8_t(b[1]) << 8);
}

std::uint16_t SharedFile::readwordbe(std::uint32_t offset) {
    const std::string b = readbytes(offset, 2);
    if (b.size() < 2) return 0;
    return static_cast<std::uint16_t>(std::uint8_t(b[0]) << 8 | std::uint8_t(b[1]));
}

void SharedFile::fail(const char* what, int err) {
    if (!m_ok) return;
    m_ok = false;
    m_error = "The file " + m_path.string() + " " + what;
    if (err != 0) m_error += std::string(" (") + std::strerror(err) + ")";
    m_error += ".";
}

} // namespace tessaly
