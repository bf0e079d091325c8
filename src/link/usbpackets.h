#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"

namespace tessaly {

// The TI-89 Titanium's own USB port speaks another protocol than the link port: raw
// packets (one or more per bulk transfer) carry virtual packets, which carry the exchanges'
// parameters, attributes and data. The encoding here is shared by the computer's side and
// the virtual calculator's USB end.
using UsbBytes = std::vector<std::uint8_t>;

// Raw packets: 4-byte big-endian payload length, a type byte, the payload.
enum class RawType : std::uint8_t {
    BufferSizeRequest = 1,
    BufferSizeAnswer = 2,
    VirtualMore = 3,   // a piece of a virtual packet, more pieces follow
    VirtualLast = 4,   // its last piece
    Ack = 5,           // every piece is acknowledged (payload E0 00)
};
inline constexpr std::size_t kRawHeaderSize = 5;
inline constexpr std::uint32_t kUsbBufferRequest = 0x400;  // what the computer asks for
inline constexpr std::uint32_t kTitaniumBufferSize = 0x3FF;  // what the Titanium grants

struct RawPacket {
    RawType type = RawType::Ack;
    UsbBytes payload;
};
UsbBytes rawbytes(const RawPacket& packet);
// A whole raw packet from one transfer's bytes; nullopt and why when they are not one
// (cut short, a length past the buffer size, an unknown type).
std::optional<RawPacket> parseraw(std::span<const std::uint8_t> bytes, std::uint32_t buffersize, std::string* error);

// Virtual packets: 4-byte big-endian data size and 2-byte type in the first raw piece.
namespace vtype {
inline constexpr std::uint16_t SetMode = 0x0001;
inline constexpr std::uint16_t OsBegin = 0x0002, OsAck = 0x0003, OsHeader = 0x0004, OsData = 0x0005;
inline constexpr std::uint16_t EotAck = 0x0006;
inline constexpr std::uint16_t ParameterRequest = 0x0007, ParameterData = 0x0008;
inline constexpr std::uint16_t DirectoryRequest = 0x0009, VariableHeader = 0x000A;
inline constexpr std::uint16_t RequestToSend = 0x000B, VariableRequest = 0x000C, VariableContents = 0x000D;
inline constexpr std::uint16_t ParameterSet = 0x000E, ModifyVariable = 0x0010, Execute = 0x0011;
inline constexpr std::uint16_t ModeAck = 0x0012, DataAck = 0xAA00, DelayAck = 0xBB00, Eot = 0xDD00, Error = 0xEE00;
}  // namespace vtype

struct VirtualPacket {
    std::uint16_t type = 0;
    UsbBytes data;
};
// The raw pieces a virtual packet goes as, none longer than buffersize.
std::vector<RawPacket> splitvirtual(const VirtualPacket& packet, std::uint32_t buffersize);
// Joins raw pieces into virtual packets; a piece out of order or a size that does not add
// up is an error.
class VirtualAssembler {
public:
    // nullopt while more pieces are due; the packet once its last piece came. On a fault,
    // error() says why and the assembler starts afresh.
    std::optional<VirtualPacket> take(const RawPacket& piece);
    const std::string& error() const { return m_error; }

private:
    UsbBytes m_buffer;
    std::string m_error;
};

// Attributes of a variable (01 size, 02 type, 03 archived, 08 version, 11 type in a
// request, 41 locked) and parameters (0002 product name, 000B OS version, 0022 screen...).
namespace usbattr {
inline constexpr std::uint16_t Size = 0x01, Type = 0x02, Archived = 0x03, Version = 0x08, RequestType = 0x11,
                               Locked = 0x41;
}
namespace usbparam {
inline constexpr std::uint16_t ProductName = 0x0002, FullId = 0x0005, OsVersion = 0x000B, FreeRam = 0x000E,
                               FreeFlash = 0x0011, Screenshot = 0x0022, ClockOn = 0x0024, ClockSeconds = 0x0025,
                               DateFormat = 0x0027, TimeFormat = 0x0028, Battery = 0x002D, GoHome = 0x0037;
}
// The error codes of an error packet.
namespace usberror {
inline constexpr std::uint16_t OutOfMemory = 0x000C, Locked = 0x0012, BatteryLow = 0x002B,
                               SignatureMismatch = 0x002E, Busy = 0x0034;
// A calculator whose system transfer broke off takes nothing but a system, with the code
// its link port refuses with then.
inline constexpr std::uint16_t WaitingForSystem = 0x0024;
}
struct UsbAttribute {
    std::uint16_t id = 0;
    UsbBytes data;
};

// A parameter request's data: the count, then each ID (big-endian 16-bit).
UsbBytes parameterrequest(std::span<const std::uint16_t> ids);
// A parameter answer: the count, then per parameter its ID and a status byte (0: there),
// and for one that is there its 16-bit size and data; one that is not has no size.
struct UsbParameter {
    std::uint16_t id = 0;
    bool there = true;
    UsbBytes data;
};
UsbBytes parameterbytes(const std::vector<UsbParameter>& parameters);
// nullopt and why for an answer cut short or with bytes past its last parameter.
std::optional<std::vector<UsbParameter>> parseparameters(std::span<const std::uint8_t> data, std::string* error);
// What an error packet's code means to the user ("The calculator is busy: go to its home
// screen ...").
std::string usberrortext(std::uint16_t code);

// The computer's side over a Link whose cable is the Titanium's USB port (Link::directusb()):
// the buffer-size handshake once per session, then whole virtual packets each way, every
// raw piece acknowledged, delay acknowledgements waited through, zero-length packets where
// the port wants them. Failures clear the link-ok flag with why, as everywhere.
bool usbhandshake(Link& link);
bool sendvirtual(Link& link, const VirtualPacket& packet);
std::optional<VirtualPacket> receivevirtual(Link& link, std::uint32_t timeoutms = kAckBudgetMs);
// A transcript's step: a virtual packet of this type. An error packet fails the link with
// what its code means; another type with the failure text given, or one naming what came.
std::optional<VirtualPacket> expectvirtual(Link& link, std::uint16_t type, std::string_view failure = {},
                                           std::uint32_t timeoutms = kAckBudgetMs);
// The longest a delay acknowledgement is waited through at a time; a calculator that asks
// for more is asked again after this.
inline constexpr std::uint32_t kUsbDelayCapMs = 400;
// Data past this size goes with a zero-length transfer after each piece whose transfer is a
// whole number of the port's 64-byte packets, so the calculator sees the piece end.
inline constexpr std::size_t kUsbZeroLengthAbove = 1076;
// The name of a virtual packet type in the trace and in failure texts ("set mode").
std::string_view vtypename(std::uint16_t type);

} // namespace tessaly
