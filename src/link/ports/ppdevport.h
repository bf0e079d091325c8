#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "link/port.h"

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
// PPWDATA and the status register read with PPRSTATUS; the register offsets of the
// port addresses the byte layer uses (base, base + 1) are implied by the call.
class PpdevPort final : public Port {
public:
    // Follows the port address of each access, so a choice in the port list takes effect
    // with the next byte; the device is opened on first use and again when it changes.
    explicit PpdevPort(PpdevPaths paths = {});
    // Uses this one device whatever address the byte layer names.
    explicit PpdevPort(std::filesystem::path device);
    ~PpdevPort() override;
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    // Opens the device for this base address now rather than at the first byte, so a
    // problem is reported before a transfer starts. False with error() on failure.
    bool open(std::uint16_t address);

    void outport(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t inport(std::uint16_t port) override;
    std::string error() const override { return m_error; }
    // Set when the port is shared with another driver (exclusive access refused).
    const std::string& warning() const { return m_warning; }
    const std::filesystem::path& device() const { return m_device; }

private:
    bool ready(std::uint16_t base);
    bool claim(const std::filesystem::path& device);
    void release();

    PpdevPaths m_paths;
    bool m_fixed = false;
    std::filesystem::path m_device;
    int m_fd = -1;
    bool m_tried = false;       // an open of m_device was attempted (it may have failed)
    std::uint16_t m_base = 0;   // the base address m_device was chosen for
    std::string m_error;
    std::string m_warning;
};

} // namespace tessaly
