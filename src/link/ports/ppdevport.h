#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "link/port.h"
#include "link/transferstate.h"

namespace tessaly {

// Where the kernel lists its parallel ports and where their device nodes live; tests
// point both into a scratch folder.
struct PpdevPaths {
    std::filesystem::path proc = "/proc/sys/dev/parport";
    std::filesystem::path dev = "/dev";
};

// The device of the parallel port at this I/O base address: the parportN whose listed
// base address equals it, else the one at the address's place in the port table
// (0x378 -> parport0, 0x3BC -> parport1, 0x278 -> parport2). Empty when neither fits.
std::filesystem::path ppdevdevicefor(std::uint16_t address, const PpdevPaths& paths = {});

// What to tell the user when the device could not be used; errnum is the errno of the
// failing step.
std::string ppdevopenerror(const std::filesystem::path& device, int errnum);

// A real cable through the Linux parallel-port driver. The data register is written with
// PPWDATA and the status register read with PPRSTATUS, so the driver knows the registers'
// addresses and the port address only chooses the device.
class PpdevPort final : public Port {
public:
    // Follows the port list's address in the shared state at each access, so a choice in
    // the list takes effect with the next byte; the device is opened on first use and
    // again when it changes.
    explicit PpdevPort(const TransferState& portlist, PpdevPaths paths = {});
    // Uses this one device whatever the port list says.
    explicit PpdevPort(std::filesystem::path device);
    ~PpdevPort() override;
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    // Opens the device now rather than at the first byte, so a problem is reported before
    // a transfer starts, and releases both lines. False with error() on failure.
    bool open();

    void setlines(Lines drivers) override;
    Lines readlines() override;
    std::string error() const override { return m_error; }
    // Set when the port is shared with another driver (exclusive access refused).
    const std::string& warning() const { return m_warning; }
    const std::filesystem::path& device() const { return m_device; }

private:
    bool ready();
    bool claim(const std::filesystem::path& device);
    void release();

    const TransferState* m_portlist = nullptr;  // null: a fixed device
    PpdevPaths m_paths;
    std::filesystem::path m_device;
    int m_fd = -1;
    bool m_tried = false;       // an open of m_device was attempted (it may have failed)
    std::uint16_t m_base = 0;   // the base address m_device was chosen for
    std::string m_error;
    std::string m_warning;
};

} // namespace tessaly
