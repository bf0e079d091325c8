#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessaly {

// The shared transfer file: one file of bytes opened for one operation. Offsets are
// 32-bit, so files beyond 64 KB read correctly.
class SharedFile {
public:
    enum class Mode { Read, ReadWrite, Create };
    SharedFile() = default;
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    // Opens the file; on failure returns false and leaves a message naming the file.
    bool open(const std::filesystem::path& path, Mode mode, std::string* error = nullptr);
    void close();
    bool isopen() const { return m_fd >= 0; }
    std::uint64_t size() const;
    // False once any read or write fell short; the message says why.
    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }

    void writebytes(std::string_view bytes);
    std::string readbytes(std::uint32_t offset, std::size_t count);
    std::uint16_t readwordle(std::uint32_t offset);
    std::uint16_t readwordbe(std::uint32_t offset);

private:
    // Keeps the first failure: later ones are usually its consequence. err: errno or 0.
    void fail(const char* what, int err = 0);
    int m_fd = -1;
    bool m_ok = true;
    std::string m_error;
    std::filesystem::path m_path;
};

} // namespace tessaly
