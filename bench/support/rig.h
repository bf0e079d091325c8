#pragma once
// What the benchmarks share: the virtual TI-92 reacting at once on a simulated clock with a
// link to it, and a scratch folder that goes with the benchmark.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "link/link.h"
#include "vcalc/vcalc.h"

namespace tessaly::bench {

struct InstantCalculator {
    SimClock clock;
    VirtualCalculator calc{clock};
    VirtualPort port{calc, &clock};
    NullProgress shell;
    TransferState state;
    Link link{port, clock, shell, state};

    InstantCalculator() {
        calc.setpace(0);
        calc.settracing(false);
        state.linkok = true;
        link.releaselines();
    }
};

struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-bench-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

// A one-entry TI-92 file in folder of s stored bytes (a variable, big.92p) or s data bytes
// (a backup, big.92b), its checksum right.
inline std::filesystem::path tifile(const std::filesystem::path& folder, std::size_t s, bool backup) {
    auto put = [](std::string& f, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string f = "**TI92**";
    f += '\x01';
    f.append(9, '\0');
    f.append(40, '\0');
    f += '\x01';
    f += '\0';
    const std::uint32_t section = static_cast<std::uint32_t>(s + (backup ? 2 : 6));
    put(f, 82, 4);
    f += backup ? std::string("1.11\0\0\0\0", 8) : std::string("big\0\0\0\0\0", 8);
    f += static_cast<char>(backup ? 0x1D : 0x12);
    f.append(3, '\0');
    put(f, 82 + section, 4);
    f += '\xA5';
    f += '\x5A';
    if (!backup) f.append(4, '\0');
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < s; ++i) {
        std::uint8_t b = static_cast<std::uint8_t>(i * 13);
        if (!backup && i == 0) b = static_cast<std::uint8_t>((s - 2) >> 8);
        if (!backup && i == 1) b = static_cast<std::uint8_t>((s - 2) & 0xFF);
        f += static_cast<char>(b);
        sum = static_cast<std::uint16_t>(sum + b);
    }
    put(f, sum, 2);
    const auto path = folder / (backup ? "big.92b" : "big.92p");
    std::ofstream(path, std::ios::binary) << f;
    return path;
}

} // namespace tessaly::bench
