#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "link/link.h"

namespace tessaly {

enum Command : std::uint8_t {
    CmdVarHeader = 0x06,
    CmdDataRequest = 0x09,
    CmdData = 0x15,
    CmdVersion = 0x2D,
    CmdSkip = 0x36,
    CmdAck = 0x56,
    CmdChecksumError = 0x5A,
    CmdReady = 0x68,
    CmdScreen = 0x6D,
    CmdContinue = 0x78,
    CmdKey = 0x87,
    CmdDelete = 0x88,
    CmdEnd = 0x92,
    CmdRequest = 0xA2,
    CmdSendVar = 0xC9,
};

struct CommandInfo {
    std::uint8_t code;
    bool carriesdata;
    std::string_view mnemonic;  // what the wire trace writes after the packet
    std::string_view name;
};

// One table drives framing, the wire trace and the readable names of packets.
inline constexpr CommandInfo kCommands[] = {
    {CmdVarHeader, true, "VAR", "variable header"},
    {CmdDataRequest, false, "DRQ", "data request"},
    {CmdData, true, "DATA", "data"},
    {CmdVersion, false, "VER", "version request"},
    {CmdSkip, true, "SKIP", "refusal"},
    {CmdAck, false, "ACK", "acknowledge"},
    {CmdChecksumError, false, "CHK", "checksum error"},
    {CmdReady, false, "RDY", "ready check"},
    {CmdScreen, false, "SCR", "screen request"},
    {CmdContinue, false, "CONT", "continue"},
    {CmdKey, false, "KEY", "key press"},
    {CmdDelete, true, "DEL", "delete request"},
    {CmdEnd, false, "EOT", "end of transmission"},
    {CmdRequest, true, "REQ", "variable request"},
    {CmdSendVar, true, "RTS", "request to send"},
};

constexpr const CommandInfo* commandinfo(std::uint8_t code) {
    for (const auto& c : kCommands)
        if (c.code == code) return &c;
    return nullptr;
}

constexpr bool carriesdata(std::uint8_t code) {
    const CommandInfo* info = commandinfo(code);
    return info && info->carriesdata;
}


// The packet layer: whole packets over the byte layer. Like the byte layer, every
// operation does nothing on the wire once the link-ok flag is clear.

inline constexpr std::uint32_t kPacketWaitMs = 2000;

struct PacketHeader {
    std::uint8_t machine = 0;
    std::uint8_t command = 0;
    std::uint16_t length = 0;  // of the data, or a parameter in a packet without data
};

// Sees a packet's data as it crosses, byte by byte: where an exchange acts inside a
// packet (a gauge step, a message pass, a byte written to the package store) without
// the packet being held in memory.
class PacketWatcher {
public:
    virtual ~PacketWatcher() = default;
    virtual void onbyte(std::size_t index, std::uint8_t byte) = 0;
    // The packet comes again (its checksum was wrong): forget the bytes of the last try.
    virtual void restart() {}
};

struct Packet {
    PacketHeader header;
    std::vector<std::uint8_t> data;  // empty when a watcher took the bytes
    bool known = false;              // the command is in the table, so the packet was framed
    bool complete = false;           // every byte of it arrived
    bool checksumok = true;          // the data's sum matched (no data: true)
    std::uint8_t command() const { return header.command; }
    // Whole, framed and undamaged, with this command.
    bool is(std::uint8_t command) const { return complete && known && checksumok && header.command == command; }
};

std::uint16_t checksum(std::span<const std::uint8_t> data);

// The bytes a packet's data holds: its length word, except that a later model's data packet
// with the word 0000 holds 65536 (a Flash block).
inline std::size_t datalength(const CalculatorModel& model, const PacketHeader& header) {
    if (header.length == 0 && header.command == CmdData && model.fullzerolength) return 65536;
    return header.length;
}
inline constexpr std::string_view kPacketTooLongText = "A packet's data cannot be sent: its length word cannot say it.";

// A packet without data; the length field carries the parameter (the data request's
// "any length" FF FF, a key code).
void sendpacket(Link& link, std::uint8_t command, std::uint16_t parameter = 0);
// A packet with data: length and checksum worked out. Data the length word cannot say (more
// than 65536 bytes, 65536 but to a TI-92, or an empty data packet a later model would take
// for 65536) fails the link before a byte goes.
void sendpacket(Link& link, std::uint8_t command, std::span<const std::uint8_t> data,
                PacketWatcher* watcher = nullptr);

// The four header bytes of the calculator's next packet, read as they come.
std::optional<PacketHeader> receiveheader(Link& link);
// Drops bytes until the calculator's machine byte arrives, for up to 2 s; false when the
// link failed or the time ran out first.
bool seekmachinebyte(Link& link);
// The same, dropping whatever comes before the calculator's machine byte, for up to 2 s.
std::optional<PacketHeader> seekheader(Link& link);
// The rest of a packet whose header was read: its data and checksum when the command
// carries data. With a watcher the data is handed over, not kept.
Packet receivebody(Link& link, const PacketHeader& header, PacketWatcher* watcher = nullptr);
// A whole packet: header and body.
Packet receivepacket(Link& link, PacketWatcher* watcher = nullptr);
// A whole packet that carries data, asked for again with 09 5A 00 00 while its checksum is
// wrong, as the calculator does; after three tries the last one is returned as it came.
inline constexpr int kPacketTries = 3;
Packet receiveverified(Link& link, PacketWatcher* watcher = nullptr);

// A later model's acknowledgement of a ready check carries a status word in its length
// field: this bit set, the calculator is busy away from its home screen.
inline constexpr std::uint16_t kNotReadyStatus = 0x0100;

// The later models' listing: the request's size carries a filter in its top byte.
inline constexpr std::uint8_t kFolderFilter = 0x1F;     // every folder
inline constexpr std::uint8_t kVariableFilter = 0x1B;   // the variables of the folder named

// The fixed packets and the acknowledgement waits every exchange uses.
void sendready(Link& link);
void sendack(Link& link);
void senddatarequest(Link& link);
// An acknowledgement (or a data request, which also acknowledges), bytes before it
// skipped. False on anything else, on silence and once the link-ok flag is clear.
bool waitack(Link& link);
// The same, with the acknowledgement's length field (a later model's ready status).
bool waitack(Link& link, std::uint16_t& parameter);
bool waitdatarequest(Link& link);

// The steps of an exchange read as a transcript: each names the answer it expects and
// fails the transfer when another comes, so no answer goes unlooked at: with the
// failure text given, or else with a text that names what came and what was due. A link
// that went down on the way keeps its own reason (a timeout, a cancel).
// An acknowledgement, or a data request, which also acknowledges.
bool expectack(Link& link, std::string_view failure = {});
// A packet without data of exactly this command.
bool expect(Link& link, std::uint8_t command, std::string_view failure = {});
// A whole packet of this command (its data read whatever its checksum).
Packet expectpacket(Link& link, std::uint8_t command, std::string_view failure = {});

inline constexpr std::string_view kUnexpectedAnswerText = "Unexpected answer from the calculator: ";

} // namespace tessaly
