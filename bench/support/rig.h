#pragma once
// What the benchmarks share: the virtual TI-92 reacting at once on a simulated clock with a
// link to it, and a scratch folder that goes with the benchmark.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "link/link.h"
#include "vcalc/vcalc.h"

namespace tessaly::bench {

struct InstantCalculator {
    SimClock clock;
    VirtualTI92 calc{clock};
    VirtualPort port{calc, &clock};
    NullShell shell;
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

} // namespace tessaly::bench
