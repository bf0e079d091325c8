#pragma once
#include <memory>
#include <string>

#include "link/bytestream.h"

namespace tessaly {

// The grey serial cable: a microcontroller in the cable does the bit handshake, the program
// writes and reads plain packet bytes on a serial port at 9600 baud, 8N1, no flow control.
// The cable takes its power from DTR and RTS.
class GreyPort final : public ByteStream {
public:
    // keeppace: writes return at the line's pace (see write); off only where the far end
    // reads at once whatever comes (the virtual TI-92 with no line speed, in tests).
    explicit GreyPort(std::string device, bool keeppace = true) : m_device(std::move(device)), m_keeppace(keeppace) {}
    ~GreyPort() override;
    GreyPort(const GreyPort&) = delete;
    GreyPort& operator=(const GreyPort&) = delete;

    // Opens and sets up the port, powers the cable and drops what its power-up left.
    // False with openerror() saying why and how to fix it.
    bool open();
    const std::string& openerror() const { return m_openerror; }
    // Opened, but the port has no modem lines to power a real cable (a pseudo-terminal).
    const std::string& warning() const { return m_warning; }

    bool write(std::span<const std::uint8_t> bytes) override;
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override;
    void flushinput() override;
    std::string error() const override { return m_lost; }

private:
    void lose(const char* what, int err);

    std::string m_device;
    int m_fd = -1;
    std::string m_openerror;
    std::string m_warning;
    std::string m_lost;
    bool m_keeppace;
    std::uint64_t m_lineuntil = 0;  // when the line will have sent what was written (us)
};

// The grey cable at this device as a byte stream, or nullptr with error (and its fix) set.
// warning: said when it opened with a caveat.
std::unique_ptr<ByteStream> opengrey(const std::string& device, std::string* error, std::string* warning);

} // namespace tessaly
