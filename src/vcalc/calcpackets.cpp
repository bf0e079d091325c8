#include "vcalc/calcpackets.h"

#include "link/packets.h"

namespace tessaly {

namespace {
std::uint16_t sumof(std::span<const std::uint8_t> bytes) {
    std::uint16_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint16_t>(sum + b);
    return sum;
}
} // namespace

bool PacketAssembler::take(std::uint8_t value) {
    if (m_headcount < 4) {
        // A computer whose wait for us ran out still clocks its acknowledgement slots:
        // they arrive as FF bytes, which no packet starts with.
        if (m_headcount == 0 && value == 0xFF) return false;
        m_head[m_headcount++] = value;
        if (m_headcount < 4) return false;
        const CommandInfo* info = commandinfo(m_head[1]);
        m_carries = info && info->carriesdata;
        m_packet.clear();
        const PacketHeader h{m_head[0], m_head[1], static_cast<std::uint16_t>(m_head[2] | m_head[3] << 8)};
        m_need = m_carries ? datalength(*m_model, h) + 2 : 0;
    } else {
        m_packet.push_back(value);
    }
    if (m_packet.size() < m_need) return false;
    m_headcount = 0;
    return true;
}

bool PacketAssembler::checksumok() const {
    if (!m_carries) return true;
    const auto n = m_packet.size();
    return sumof(data()) == (m_packet[n - 2] | m_packet[n - 1] << 8);
}

Bytes shortpacket(std::uint8_t machine, std::uint8_t command, std::uint16_t value) {
    return {machine, command, static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

Bytes makepacket(std::uint8_t machine, std::uint8_t command, std::span<const std::uint8_t> payload, bool wrongchecksum) {
    Bytes p;
    p.reserve(payload.size() + 6);
    for (std::uint8_t b : {machine, command, static_cast<std::uint8_t>(payload.size() & 0xFF),
                           static_cast<std::uint8_t>(payload.size() >> 8)})
        p.push_back(b);
    p.insert(p.end(), payload.begin(), payload.end());
    std::uint16_t sum = sumof(payload);
    if (wrongchecksum) sum = static_cast<std::uint16_t>(sum + 1);
    p.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    p.push_back(static_cast<std::uint8_t>(sum >> 8));
    return p;
}

Bytes headerdata(std::uint32_t size, std::uint8_t type, std::string_view name, std::size_t trailingbytes,
                 std::uint8_t trailing) {
    Bytes d;
    d.reserve(name.size() + 6);
    for (std::uint8_t b : {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                           static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24), type,
                           static_cast<std::uint8_t>(name.size())})
        d.push_back(b);
    d.insert(d.end(), name.begin(), name.end());
    d.resize(d.size() + trailingbytes, trailing);
    return d;
}

std::optional<Request> parserequest(std::span<const std::uint8_t> d) {
    // A backup header may stop after the type: no name at all.
    if (d.size() < 5 || (d.size() > 5 && d.size() < 6u + d[5])) return std::nullopt;
    Request r;
    r.size = d[0] | d[1] << 8 | d[2] << 16 | static_cast<std::uint32_t>(d[3]) << 24;
    r.type = d[4];
    if (d.size() > 5) r.name.assign(reinterpret_cast<const char*>(d.data() + 6), d[5]);
    if (d.size() > 5 && d.size() > 6u + d[5]) r.attribute = d[6 + d[5]];
    return r;
}

} // namespace tessaly
