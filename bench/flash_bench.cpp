// Sending a 2 MB system to the virtual calculator reacting at once, in process, through
// sendflashfile. Run: build/bench/flash_bench
// bytes_per_second is the Flash data sent a second; heap_peak the most heap held at once
// during one send (the file's own 2 MB, built before, not counted), to show the send keeps
// no second copy of the file. `flash_bench --write FILE.89u` writes the same system as a
// file for bench/flash_send.sh, which times it over the socket.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "files/flashfile.h"
#include "transfers/flash.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"
#include "../tests/support/flashsamples.h"

using namespace tessaly;

#include "support/heapcount.h"

namespace {

constexpr std::size_t kSystemBytes = 2u << 20;

struct Agree final : FlashQuestions {
    bool replacesystem(const FlashPart&, const CalculatorModel&) override { return true; }
};

struct Titanium {
    SimClock clock;
    VirtualCalculator calc{clock, kTI89Titanium};
    VirtualPort port{calc, &clock};
    NullProgress shell;
    TransferState state;
    Link link{port, clock, shell, state};
    Titanium() {
        calc.setpace(0);
        calc.settracing(false);
        state.linkok = true;
        link.releaselines();
    }
};

void BM_SendSystem2M(benchmark::State& st) {
    const FlashFile file = samples::system(kTI89Titanium, 3, 10, kSystemBytes);
    std::size_t bytes = 0, peak = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Titanium t;
        Agree agree;
        const heapcount::Scope heap;
        st.ResumeTiming();
        const FlashSendResult r = sendflashfile(t.link, t.shell, file, agree);
        st.PauseTiming();
        peak = heap.peakbytes();
        if (!r.sent || !t.state.linkok) st.SkipWithError(t.state.pendingerror.c_str());
        st.ResumeTiming();
        bytes += r.bytes;
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["heap_peak"] = static_cast<double>(peak);
}
BENCHMARK(BM_SendSystem2M)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--write") == 0) {
        // A smaller system for the socket runs, whose every bit crosses the wire.
        const std::size_t bytes = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : kSystemBytes;
        std::string error;
        if (writeflashfile(argv[2], samples::system(kTI89Titanium, 3, 10, bytes), &error)) return 0;
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
