#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "vcalc/vcalc.h"

namespace tessaly {

// The virtual TI-92 behind a grey cable: a pseudo-terminal whose slave side a link program
// opens as it would the grey cable's serial port (LINK grey:PATH). Packet bytes come in and
// go out as they would through the cable's microcontroller; the calculator behind it is the
// same one the bit engine drives. A program that closes the port lets go of the cable, and
// the exchange it was in is dropped.
class GreyServer {
public:
    explicit GreyServer(VirtualCalculator& calc) : m_calc(calc) {}
    ~GreyServer();
    GreyServer(const GreyServer&) = delete;
    GreyServer& operator=(const GreyServer&) = delete;

    // Makes the pseudo-terminal pair and the symlink `link` to its slave side. Only a stale
    // symlink of ours (one into /dev/pts whose terminal is gone) is replaced.
    bool open(const std::string& link, std::string* error);
    // The slave side's own name (/dev/pts/N).
    const std::string& device() const { return m_device; }
    // Models the serial line at this many baud (8N1: ten bits a byte) each way; 0: at once.
    void setbaud(std::uint32_t baud) { m_baud = baud; }
    // Serves until stop(), a "quit" command, or the end of the command input.
    void run(int commandfd = -1);
    // Safe from a signal handler and from another thread.
    void stop() { m_stop = true; }
    // Closes the pseudo-terminal and removes the symlink.
    void close();

private:
    // A direction of the modelled line: how many bytes it may carry by now.
    struct Line {
        std::uint64_t clock = 0;  // the time the line has carried bytes up to
        std::size_t allowed(std::uint64_t now, std::uint64_t bytemicros);
        std::uint64_t wait(std::uint64_t now, std::uint64_t bytemicros) const;
        void carried(std::size_t n, std::uint64_t bytemicros) { clock += n * bytemicros; }
    };

    void takeinput(std::size_t most);
    // A program has opened the port: nothing of the one before it carries over.
    // dropinput: what waits unread is the last program's.
    void fresh(std::uint64_t now, bool dropinput);
    void giveoutput(std::uint64_t now, std::uint64_t bytemicros);

    VirtualCalculator& m_calc;
    std::string m_link;
    std::string m_device;
    int m_master = -1;
    std::uint32_t m_baud = 0;
    bool m_held = false;             // a program has the port open
    bool m_awaitflush = false;       // it has set the port up, and not yet dropped its input
    std::uint64_t m_settledat = 0;   // when a new program has set up its port
    Line m_in, m_out;
    std::vector<std::uint8_t> m_pending;  // taken from the calculator, not yet written
    std::string m_commandline;
    std::atomic<bool> m_stop{false};
};

} // namespace tessaly
