#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/bytestream.h"
#include "link/linkspec.h"

namespace tessaly {

inline constexpr std::uint16_t kSilverVendor = 0x0451;
inline constexpr std::uint16_t kSilverProduct = 0xE001;
inline constexpr std::uint8_t kSilverIn = 0x81;
inline constexpr std::uint8_t kSilverOut = 0x02;
inline constexpr std::size_t kSilverPacket = 32;

// How one bulk transfer went.
enum class UsbStatus { Ok, Timeout, Stall, Gone, Failed };

struct UsbTransfer {
    UsbStatus status = UsbStatus::Ok;
    std::size_t count = 0;  // bytes moved, also on a timeout
};

// One opened silver cable, configured and its interface claimed: the few USB calls the
// stream makes, so tests put a fake in its place.
class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    virtual UsbStatus clearhalt(std::uint8_t endpoint) = 0;
    virtual UsbTransfer bulkread(std::uint8_t endpoint, std::span<std::uint8_t> into, std::uint32_t timeoutms) = 0;
    virtual UsbTransfer bulkwrite(std::uint8_t endpoint, std::span<const std::uint8_t> bytes, std::uint32_t timeoutms) = 0;
};

// Why a silver cable could not be opened.
enum class UsbProblem { None, Missing, Permission, KernelDriver, Busy, Failed };

struct SilverPlace {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
};

// A silver cable on the machine's USB, as the listing sees it.
struct SilverFound {
    SilverPlace place;
    UsbProblem problem = UsbProblem::None;  // why it would not open (None: it opens)
    std::string detail;                     // the kernel driver's name, a library message
};

// The machine's USB as the silver cable sees it.
class UsbHost {
public:
    virtual ~UsbHost() = default;
    // Every 0451:e001 on the buses, each tried for opening.
    virtual std::vector<SilverFound> list() = 0;
    // Opens, configures and claims the cable at this place (bus 0: the first one found).
    virtual std::unique_ptr<UsbDevice> open(SilverPlace place, UsbProblem* problem, std::string* detail) = 0;
    // The same for the TI-89 Titanium's own USB port (0451:e004).
    virtual std::vector<SilverFound> listtitanium() { return {}; }
    virtual std::unique_ptr<UsbDevice> opentitanium(SilverPlace, UsbProblem* problem, std::string*) {
        *problem = UsbProblem::Missing;
        return nullptr;
    }
};

// The host over libusb-1.0; its library is set up on first use.
UsbHost& usbhost();

// The message for a cable that would not open, naming the fix.
std::string silveropenerror(SilverPlace place, UsbProblem problem, const std::string& detail);

// The silver cable as a byte stream. The bridge speaks in 32-byte packets: reads always
// ask for a whole packet and keep what the caller did not take yet; writes go out in
// 32-byte pieces. The halts of both pipes are cleared before the first transfer and
// after any that failed.
class SilverStream final : public ByteStream {
public:
    SilverStream(std::unique_ptr<UsbDevice> device, std::string description);
    bool write(std::span<const std::uint8_t> bytes) override;
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override;
    void flushinput() override;
    std::string error() const override { return m_error; }
    const std::string& description() const { return m_description; }

private:
    bool ready();
    void fail(UsbStatus status, const char* during);

    std::unique_ptr<UsbDevice> m_device;
    std::string m_description;
    std::vector<std::uint8_t> m_pending;  // received, not read yet
    std::size_t m_pendingpos = 0;
    bool m_clearhalts = true;
    std::string m_error;
};

// Opens the silver cable the LINK names (Kind::Silver), on this host. nullptr and the
// message when it cannot.
std::unique_ptr<ByteStream> opensilver(const LinkSpec& spec, UsbHost& host, std::string* error);
std::unique_ptr<ByteStream> opensilver(const LinkSpec& spec, std::string* error);

} // namespace tessaly
