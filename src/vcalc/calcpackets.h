#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/model.h"

namespace tessaly {

using Bytes = std::vector<std::uint8_t>;

// Frames the computer's bytes into packets: four header bytes (machine, command, length or
// parameter), then, for a command that carries data, the data and a two-byte checksum.
class PacketAssembler {
public:
    PacketAssembler() { m_packet.reserve(70000); }
    // The calculator that reads them: how long a packet is depends on it (datalength).
    void setmodel(const CalculatorModel& model) { m_model = &model; }
    // True when this byte completed a packet; it stays readable until the next byte.
    bool take(std::uint8_t value);
    void reset() {
        m_headcount = 0;
        m_need = 0;
    }

    std::uint8_t machine() const { return m_head[0]; }
    std::uint8_t command() const { return m_head[1]; }
    std::uint16_t param() const { return static_cast<std::uint16_t>(m_head[2] | m_head[3] << 8); }
    bool carries() const { return m_carries; }
    std::span<const std::uint8_t> data() const { return {m_packet.data(), m_packet.size() - (m_carries ? 2 : 0)}; }
    // The data add up to the checksum that came with them (a packet without data: true).
    bool checksumok() const;

private:
    std::uint8_t m_head[4] = {};
    std::uint8_t m_headcount = 0;
    bool m_carries = false;
    Bytes m_packet;  // data, then the two checksum bytes
    std::size_t m_need = 0;
    const CalculatorModel* m_model = &kTI92;
};

// The calculator's packets, opened with its machine byte.
Bytes shortpacket(std::uint8_t machine, std::uint8_t command, std::uint16_t value = 0);
// wrongchecksum: spoils the checksum, as a calculator told to misbehave does. A payload
// of 65536 bytes goes with the length word 0000, as a later model sends a Flash block.
Bytes makepacket(std::uint8_t machine, std::uint8_t command, std::span<const std::uint8_t> payload,
                 bool wrongchecksum = false);
// The data of a variable header: size, type, name length, name, and the bytes a later
// model puts after the name.
Bytes headerdata(std::uint32_t size, std::uint8_t type, std::string_view name, std::size_t trailingbytes = 0,
                 std::uint8_t trailing = 0);

// What a variable header or request names.
struct Request {
    std::uint32_t size = 0;
    std::uint8_t type = 0;
    std::string name;
    std::uint8_t attribute = 0;  // the byte after the name, where a later model has one
};
// nullopt when the data are too short for what they announce.
std::optional<Request> parserequest(std::span<const std::uint8_t> data);

} // namespace tessaly
