#include "link/trace.h"

#include "link/packets.h"

namespace tessaly {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

void MemoryTrace::byte(Direction dir, std::uint8_t value) { m_bytes.emplace_back(dir, value); }

std::vector<std::uint8_t> MemoryTrace::sent() const {
    std::vector<std::uint8_t> out;
    for (auto [d, b] : m_bytes)
        if (d == Direction::ToCalc) out.push_back(b);
    return out;
}

std::vector<std::uint8_t> MemoryTrace::received() const {
    std::vector<std::uint8_t> out;
    for (auto [d, b] : m_bytes)
        if (d == Direction::FromCalc) out.push_back(b);
    return out;
}

std::string MemoryTrace::text() const {
    std::string out;
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        const auto [d, b] = m_bytes[i];
        if (i == 0 || m_bytes[i - 1].first != d) {
            if (i) out += '\n';
            out += d == Direction::ToCalc ? "> " : "< ";
        } else {
            out += ' ';
        }
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    if (!out.empty()) out += '\n';
    return out;
}

FileTrace::~FileTrace() { finish(); }

void FileTrace::byte(Direction dir, std::uint8_t value) {
    if (!m_open || dir != m_dir) {
        if (m_open) std::fputc('\n', m_out);
        std::fputs(dir == Direction::ToCalc ? ">" : "<", m_out);
        m_open = true;
        m_dir = dir;
    }
    const char hex[4] = {' ', kHex[value >> 4], kHex[value & 15], '\0'};
    std::fputs(hex, m_out);
}

void FileTrace::packet(Direction dir, std::uint8_t command) {
    if (!m_open || dir != m_dir) return;
    const CommandInfo* info = commandinfo(command);
    std::fprintf(m_out, "   %.*s\n", info ? int(info->mnemonic.size()) : 1, info ? info->mnemonic.data() : "?");
    m_open = false;
}

void FileTrace::label(Direction dir, std::string_view name) {
    if (!m_open || dir != m_dir) return;
    std::fprintf(m_out, "   %.*s\n", int(name.size()), name.data());
    m_open = false;
}

void FileTrace::finish() {
    if (m_open) std::fputc('\n', m_out);
    m_open = false;
    std::fflush(m_out);
}

} // namespace tessaly
