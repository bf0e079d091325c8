#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

enum class Direction : std::uint8_t { ToCalc, FromCalc };

// Receives every byte that crossed the cable. Kept above the port backends.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void byte(Direction dir, std::uint8_t value) = 0;
    // The bytes since the last mark were one packet with this command.
    virtual void packet(Direction, std::uint8_t /*command*/) {}
    // The bytes since the last mark were one packet of this name (the USB port's raw
    // packets, which the link protocol's command table does not name).
    virtual void label(Direction, std::string_view /*name*/) {}
};

// Keeps the bytes in memory, for tests and the in-process virtual TI-92.
class MemoryTrace final : public TraceSink {
public:
    void byte(Direction dir, std::uint8_t value) override;
    void clear() { m_bytes.clear(); }
    const std::vector<std::pair<Direction, std::uint8_t>>& bytes() const { return m_bytes; }
    // Only the bytes of one direction, in order.
    std::vector<std::uint8_t> sent() const;
    std::vector<std::uint8_t> received() const;
    // The trace as text: one line per run of bytes in one direction, "> " computer to
    // calculator, "< " calculator to computer, bytes as upper-case hex with blanks.
    std::string text() const;

private:
    std::vector<std::pair<Direction, std::uint8_t>> m_bytes;
};

// Streams the trace to a file as the bytes cross, so a long transfer needs no memory:
// one line per packet, its bytes and then its name ("> 09 68 00 00   RDY"); bytes
// outside a packet (skipped before an acknowledgement) make lines of their own.
class FileTrace final : public TraceSink {
public:
    explicit FileTrace(std::FILE* out) : m_out(out) {}
    ~FileTrace() override;
    void byte(Direction dir, std::uint8_t value) override;
    void packet(Direction dir, std::uint8_t command) override;
    void label(Direction dir, std::string_view name) override;
    void finish();

private:
    std::FILE* m_out;
    bool m_open = false;
    Direction m_dir = Direction::ToCalc;
};

} // namespace tessaly
