#pragma once
#include <span>
#include <string>

#include "link/bytestream.h"

namespace tessaly {

// The computer's end of a virtual Titanium's USB port in another process: a sequenced-packet
// Unix socket, one message per bulk transfer (an empty message the zero-length packet).
class UsbSocketStream final : public ByteStream {
public:
    explicit UsbSocketStream(std::string path) : m_path(std::move(path)) {}
    // Over a socket already connected (tests); the stream closes it.
    explicit UsbSocketStream(int fd) : m_fd(fd) {}
    ~UsbSocketStream() override;
    UsbSocketStream(const UsbSocketStream&) = delete;
    UsbSocketStream& operator=(const UsbSocketStream&) = delete;

    // Connects. False with error() when nothing listens at the path.
    bool open();
    bool write(std::span<const std::uint8_t> bytes) override;
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override;
    std::string error() const override { return m_error; }

private:
    void lose(std::string why);

    std::string m_path;
    int m_fd = -1;
    std::string m_error;
};

} // namespace tessaly
