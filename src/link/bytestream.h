#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tessaly {

// A cable whose own electronics do the bit handshake (the grey serial cable's
// microcontroller, the silver cable's USB bridge): the program writes and reads packet
// bytes, and the cable moves the bits. Line-level cables (parallel, black serial) are Ports
// instead, and Link does the handshake over them.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Writes every byte of `bytes` before it returns; false when the cable failed (error()
    // says why). A cable with a packet size of its own cuts the run into its pieces itself.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // Reads what is there, up to out.size() bytes, waiting at most timeoutms for the first.
    // Returns the count (0: nothing came in time), or -1 when the cable failed.
    virtual int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) = 0;
    // Drops what the cable has received and nobody read (a stray byte after a skip, the
    // noise of a cable's power-up).
    virtual void flushinput() {}
    // Why the cable was lost after it was opened; empty while it works.
    virtual std::string error() const { return {}; }
};

} // namespace tessaly
