#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/port.h"

namespace tessaly {

// The computer's end of the virtual cable to a virtual TI-92 in another process: a Unix
// stream socket. 'w' v sets the computer's two line drivers (no reply); 'r' asks for the
// levels on the wire and gets one byte back (bit 0 = line A, bit 1 = line B, 1 = high).
class SocketPort final : public Port {
public:
    explicit SocketPort(std::string path) : m_path(std::move(path)) {}
    ~SocketPort() override;
    SocketPort(const SocketPort&) = delete;
    SocketPort& operator=(const SocketPort&) = delete;

    // Connects. False with error() when nothing listens at the path.
    bool open();
    void setlines(Lines drivers) override;
    Lines readlines() override;
    std::string error() const override { return m_error; }
    bool heldelsewhere() const override { return m_held; }
    bool connected() const { return m_fd >= 0; }

    // How long a read of the line levels may take before the far end counts as gone.
    static constexpr int kAnswerTimeoutMs = 2000;

private:
    bool flush();
    void lose(const std::string& why);
    void losebusy();

    std::string m_path;
    int m_fd = -1;
    std::string m_error;
    bool m_held = false;  // the server said another program holds the cable
    // Line writes wait here and travel with the next read, in one system call.
    unsigned char m_pending[64] = {};
    std::size_t m_npending = 0;
};

} // namespace tessaly
