#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/bytestream.h"
#include "link/linkspec.h"
#include "link/ports/silverstream.h"

namespace tessaly {

inline constexpr std::uint16_t kTitaniumProduct = 0xE004;
inline constexpr std::uint8_t kTitaniumIn = 0x81;
inline constexpr std::uint8_t kTitaniumOut = 0x02;

// The message for a Titanium whose USB port would not open, naming the fix.
std::string titaniumopenerror(SilverPlace place, UsbProblem problem, const std::string& detail);

// The TI-89 Titanium's own USB port as a byte stream of whole bulk transfers: each write
// is one transfer out (an empty one the zero-length packet), each read one transfer in.
// The raw and virtual packets above it are the link's (link/usbpackets.h).
class TitaniumStream final : public ByteStream {
public:
    explicit TitaniumStream(std::unique_ptr<UsbDevice> device) : m_device(std::move(device)) {}
    bool write(std::span<const std::uint8_t> bytes) override;
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override;
    std::string error() const override { return m_error; }

private:
    void fail(UsbStatus status, const char* during);

    std::unique_ptr<UsbDevice> m_device;
    std::string m_error;
};

// Opens the Titanium the LINK names (Kind::Titanium) on this host; nullptr and the message
// when it cannot.
std::unique_ptr<ByteStream> opentitanium(const LinkSpec& spec, UsbHost& host, std::string* error);
std::unique_ptr<ByteStream> opentitanium(const LinkSpec& spec, std::string* error);

} // namespace tessaly
