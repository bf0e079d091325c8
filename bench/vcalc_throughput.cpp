// Bytes a second through the in-process virtual TI-92 with the real byte layer, both
// directions, on simulated time (the calculator answers at once).
#include <benchmark/benchmark.h>

#include "link/link.h"
#include "vcalc/vcalc.h"

namespace {

using namespace tessaly;

struct Bench {
    SimClock clock;
    VirtualTI92 calc{clock};
    VirtualPort port{calc, &clock, 1};
    NullPump pump;
    TransferState state;
    Link link{port, clock, pump, state};
    Bench() {
        calc.settracing(false);
        state.linkok = true;
        link.releaselines();
    }
};

void BM_ComputerToCalculator(benchmark::State& st) {
    Bench b;
    b.calc.misbehaviour().mute = true;  // takes every byte, answers nothing
    constexpr int kBytes = 4096;
    for (auto _ : st)
        for (int i = 0; i < kBytes; ++i) b.link.sendbyte(static_cast<std::uint8_t>(i * 31 + 7));
    if (!b.state.linkok) st.SkipWithError(b.state.pendingerror.c_str());
    st.SetBytesProcessed(st.iterations() * kBytes);
    st.counters["accesses/byte"] =
        static_cast<double>(b.port.accesses()) / static_cast<double>(st.iterations() * kBytes);
}
BENCHMARK(BM_ComputerToCalculator);

void BM_CalculatorToComputer(benchmark::State& st) {
    Bench b;
    constexpr int kBytes = 5 + 2 * 3840;  // an FCamera picture in four greys
    for (auto _ : st) {
        b.calc.fcamerastream(2);
        for (int i = 0; i < kBytes; ++i) benchmark::DoNotOptimize(b.link.receivebyte());
    }
    if (!b.state.linkok) st.SkipWithError(b.state.pendingerror.c_str());
    st.SetBytesProcessed(st.iterations() * kBytes);
    st.counters["accesses/byte"] =
        static_cast<double>(b.port.accesses()) / static_cast<double>(st.iterations() * kBytes);
}
BENCHMARK(BM_CalculatorToComputer);

} // namespace

BENCHMARK_MAIN();
