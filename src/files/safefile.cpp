#include "files/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessaly {

namespace {

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

std::string whatitis(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

} // namespace

bool readandclose(std::FILE* fp, std::string& bytes) {
    char chunk[16384];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, fp)) > 0) bytes.append(chunk, got);
    const bool bad = std::ferror(fp) != 0;
    std::fclose(fp);
    return !bad;
}

std::FILE* openregular(const std::filesystem::path& path, std::string* error) {
    const std::string name = path.filename().string();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(error, "Cannot open " + name + ": " + std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string what = whatitis(st.st_mode);
        ::close(fd);
        fail(error, "Cannot open " + name + ": it is " + what + ", not a file");
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* fp = ::fdopen(fd, "rb");
    if (!fp) {
        fail(error, "Cannot open " + name + ": " + std::strerror(errno));
        ::close(fd);
    }
    return fp;
}

std::optional<std::filesystem::path> savetarget(const std::filesystem::path& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = path;
    // A chain of links ends at the file they name; a loop is refused rather than followed.
    for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
        if (hops == 40) {
            fail(error, "Cannot write " + path.string() + ": too many symbolic links");
            return std::nullopt;
        }
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) {
            fail(error, "Cannot write " + path.string() + ": " + ec.message());
            return std::nullopt;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    const std::string shown = path.filename().empty() ? path.string() : path.filename().string();
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            fail(error, "Cannot write " + shown + ": it is " + whatitis(st.st_mode) + ", not a file");
            return std::nullopt;
        }
        // Replacing by rename would pass over the file's own protection.
        if (::access(target.c_str(), W_OK) != 0) {
            fail(error, "Cannot write " + shown + ": " + std::strerror(errno));
            return std::nullopt;
        }
    } else if (errno != ENOENT) {
        fail(error, "Cannot write " + shown + ": " + std::strerror(errno));
        return std::nullopt;
    }
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
        fail(error, "Cannot write " + shown + ": the folder " + folder.string() + " does not exist");
        return std::nullopt;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        fail(error, "Cannot write " + shown + " in " + folder.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    return target;
}

bool WholeFile::create(const std::filesystem::path& dest, std::string* error) {
    abandon();
    const auto target = savetarget(dest, error);
    if (!target) return false;
    std::filesystem::path folder = target->parent_path();
    if (folder.empty()) folder = ".";
    // Hidden, and without the destination's extension, so no "*.92*" file list shows it.
    std::string pattern = (folder / ".tessaly-saving-XXXXXX").string();
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0)
        return fail(error, "Cannot write " + dest.filename().string() + " in " + folder.string() + ": " + std::strerror(errno));
    m_target = *target;
    m_temp = pattern;
    return true;
}

bool WholeFile::write(const void* bytes, std::size_t count, std::string* why) {
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t w = ::write(m_fd, p, count);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return fail(why, std::string("writing failed: ") + std::strerror(w < 0 ? errno : ENOSPC));
        p += w;
        count -= static_cast<std::size_t>(w);
    }
    return true;
}

bool WholeFile::commit(std::string* why) {
    if (m_fd < 0) return fail(why, "the file was not created");
    struct stat st {};
    mode_t mode;
    if (::stat(m_target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string reason;
    if (::fchmod(m_fd, mode) != 0) reason = std::string("setting its permissions failed: ") + std::strerror(errno);
    if (::close(m_fd) != 0 && reason.empty()) reason = std::string("writing failed: ") + std::strerror(errno);
    m_fd = -1;
    if (reason.empty() && ::rename(m_temp.c_str(), m_target.c_str()) != 0)
        reason = std::string("putting it in place failed: ") + std::strerror(errno);
    if (!reason.empty()) {
        abandon();
        return fail(why, reason);
    }
    m_temp.clear();
    return true;
}

void WholeFile::abandon() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}

bool savewhole(const std::filesystem::path& path, std::string_view bytes, std::string* error) {
    WholeFile file;
    if (!file.create(path, error)) return false;
    std::string why;
    if (file.write(bytes.data(), bytes.size(), &why) && file.commit(&why)) return true;
    return fail(error, "Cannot write " + path.filename().string() + ": " + why);
}

} // namespace tessaly
