// Sending a variable and restoring a backup to the virtual TI-92 reacting at once, against
// the bare byte layer sending as many bytes. Run: build/bench/send_bench
// Compare s_per_byte of the exchanges with that of the byte layer. heap_peak is the most
// heap held at once during one exchange, the virtual TI-92's own buffers included.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "link/link.h"
#include "transfers/backup.h"
#include "transfers/send.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

using namespace tessaly;

#include "support/heapcount.h"

namespace {

struct Bench : bench::InstantCalculator {
    Bench() { calc.setmemorycapacity(1u << 24); }
};

using Folder = bench::ScratchFolder;

void report(benchmark::State& st, std::size_t bytes, const heapcount::Scope* heap, std::size_t peak) {
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["s_per_byte"] =
        benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (heap) st.counters["heap_peak"] = static_cast<double>(peak);
}

// The calculator takes anything whose first byte names no computer: a stream of 0x55.
void BM_ByteLayerSend(benchmark::State& st) {
    const auto n = static_cast<std::size_t>(st.range(0));
    std::size_t bytes = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b;
        st.ResumeTiming();
        for (std::size_t i = 0; i < n; ++i) b.link.sendbyte(0x55);
        if (!b.state.linkok) st.SkipWithError("link failed");
        bytes += n;
    }
    report(st, bytes, nullptr, 0);
}

void BM_SendVariable(benchmark::State& st) {
    const auto n = static_cast<std::size_t>(st.range(0));
    Folder folder;
    const auto path = bench::tifile(folder.path, n, false);
    std::size_t bytes = 0, peak = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b;
        const heapcount::Scope heap;
        st.ResumeTiming();
        const SendResult r = sendvariables(b.link, b.shell, path);
        st.PauseTiming();
        peak = heap.peakbytes();
        if (r.sent.size() != 1) st.SkipWithError(b.state.pendingerror.c_str());
        st.ResumeTiming();
        bytes += n;
    }
    const heapcount::Scope dummy;
    report(st, bytes, &dummy, peak);
}

void BM_SendBackup(benchmark::State& st) {
    const auto n = static_cast<std::size_t>(st.range(0));
    Folder folder;
    const auto path = bench::tifile(folder.path, n, true);
    std::size_t bytes = 0, peak = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b;
        const heapcount::Scope heap;
        st.ResumeTiming();
        const BackupSent r = sendbackup(b.link, b.shell, path);
        st.PauseTiming();
        peak = heap.peakbytes();
        if (!r.sent) st.SkipWithError(b.state.pendingerror.c_str());
        st.ResumeTiming();
        bytes += n;
    }
    const heapcount::Scope dummy;
    report(st, bytes, &dummy, peak);
}

} // namespace

BENCHMARK(BM_ByteLayerSend)->Arg(61440)->Arg(102400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SendVariable)->Arg(15360)->Arg(30720)->Arg(61440)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SendBackup)->Arg(25600)->Arg(51200)->Arg(102400)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
