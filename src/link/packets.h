#pragma once
#include <cstdint>
#include <string_view>

namespace tessaly {

inline constexpr std::uint8_t kMachinePC = 0x09;
inline constexpr std::uint8_t kMachineTI92 = 0x89;

enum Command : std::uint8_t {
    CmdVarHeader = 0x06,
    CmdDataRequest = 0x09,
    CmdData = 0x15,
    CmdSkip = 0x36,
    CmdAck = 0x56,
    CmdChecksumError = 0x5A,
    CmdReady = 0x68,
    CmdScreen = 0x6D,
    CmdContinue = 0x78,
    CmdKey = 0x87,
    CmdEnd = 0x92,
    CmdRequest = 0xA2,
    CmdSendVar = 0xC9,
};

struct CommandInfo {
    std::uint8_t code;
    bool carriesdata;
    std::string_view name;
};

// One table drives framing decisions and the readable dump of a trace.
inline constexpr CommandInfo kCommands[] = {
    {CmdVarHeader, true, "variable header"},
    {CmdDataRequest, false, "data request"},
    {CmdData, true, "data"},
    {CmdSkip, true, "refusal"},
    {CmdAck, false, "acknowledge"},
    {CmdChecksumError, false, "checksum error"},
    {CmdReady, false, "ready check"},
    {CmdScreen, false, "screen request"},
    {CmdContinue, false, "continue"},
    {CmdKey, false, "key press"},
    {CmdEnd, false, "end of transmission"},
    {CmdRequest, true, "variable request"},
    {CmdSendVar, true, "variable header"},
};

constexpr const CommandInfo* commandinfo(std::uint8_t code) {
    for (const auto& c : kCommands)
        if (c.code == code) return &c;
    return nullptr;
}

// Type codes used by the exchanges themselves.
inline constexpr std::uint8_t kTypeDirectory = 0x19;
inline constexpr std::uint8_t kTypeBackup = 0x1D;
inline constexpr std::uint8_t kTypeFolder = 0x1F;
inline constexpr std::uint8_t kTypeText = 0x0B;

} // namespace tessaly
