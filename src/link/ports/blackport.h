#pragma once
#include <memory>
#include <string>

#include "link/port.h"

namespace tessaly {

// The modem lines of a serial port, as TIOCM_* bits. Results are 0 or an errno.
class ModemLines {
public:
    virtual ~ModemLines() = default;
    // Sets RTS and DTR together (TIOCMSET), so both bus lines move in one step.
    virtual int set(int bits) = 0;
    // Reads CTS and DSR (TIOCMGET).
    virtual int get(int* bits) = 0;
};

// The modem lines of an open tty.
class TtyModemLines final : public ModemLines {
public:
    explicit TtyModemLines(int fd) : m_fd(fd) {}
    ~TtyModemLines() override;
    TtyModemLines(const TtyModemLines&) = delete;
    TtyModemLines& operator=(const TtyModemLines&) = delete;
    int set(int bits) override;
    int get(int* bits) override;

private:
    int m_fd;
};

// What to tell the user when a serial port cannot carry the black cable; errnum is the
// errno of the failing step (ENOTTY: a device without modem lines).
std::string blackopenerror(const std::string& device, int errnum);

// The black serial cable: the parallel cable's handshake, bit-banged on the modem lines.
// The computer's drivers go out on RTS and DTR, the wire is read back on CTS and DSR, so
// Link runs over it unchanged. Any tty with modem lines will do, USB-serial adapters
// included.
class BlackPort final : public Port {
public:
    explicit BlackPort(std::string device);
    // Over lines of the caller's own (tests); already open.
    BlackPort(std::unique_ptr<ModemLines> lines, std::string device);
    ~BlackPort() override;
    BlackPort(const BlackPort&) = delete;
    BlackPort& operator=(const BlackPort&) = delete;

    // Opens the device and releases both bus lines, which also powers the cable. False
    // with error() saying why and how to fix it.
    bool open();

    void setlines(Lines drivers) override;
    Lines readlines() override;
    // Besides a lost device: after reads that never once saw both lines high, why that is
    // likely (an unpowered cable, an adapter without the lines), for the failed transfer.
    std::string error() const override;
    const std::string& device() const { return m_device; }

private:
    void lost(int errnum);

    std::string m_device;
    std::unique_ptr<ModemLines> m_lines;
    std::string m_error;
    int m_written = -1;      // the modem bits last set; -1: unknown
    bool m_read = false;     // the lines were read at least once
    bool m_seenhigh = false; // and once showed both lines high
};

} // namespace tessaly
