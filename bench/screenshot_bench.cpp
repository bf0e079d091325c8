// A screenshot from the virtual TI-92 reacting at once, against the bare byte layer reading
// the same answer, and the painting of a picture. Run: build/bench/screenshot_bench
// Compare s_per_byte of BM_GetScreenshot with BM_ByteLayerScreen (within 1.5 times is the aim);
// BM_Paint is the picture made from a screen bitmap and turned into pixel colours.
#include <benchmark/benchmark.h>

#include "files/screenpicture.h"
#include "link/link.h"
#include "link/packets.h"
#include "transfers/screenshot.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

using namespace tessaly;

namespace {

using Bench = bench::InstantCalculator;

constexpr std::size_t kAnswerBytes = 4 + 4 + kScreenBytes + 2;

void BM_ByteLayerScreen(benchmark::State& st) {
    Bench b;
    for (auto _ : st) {
        b.state.linkok = true;
        sendpacket(b.link, CmdScreen);
        for (std::size_t i = 0; i < kAnswerBytes; ++i) benchmark::DoNotOptimize(b.link.receivebyte());
        sendack(b.link);
    }
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(st.iterations() * kAnswerBytes),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_GetScreenshot(benchmark::State& st) {
    Bench b;
    for (auto _ : st) {
        b.state.linkok = true;
        const ScreenshotResult r = getscreenshot(b.link, b.shell);
        if (!r.complete) st.SkipWithError("screenshot failed");
        benchmark::DoNotOptimize(r.picture.values.data());
    }
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(st.iterations() * kAnswerBytes),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Paint(benchmark::State& st) {
    Bench b;
    const CalcScreen& screen = b.calc.screen();
    for (auto _ : st) {
        const ScreenPicture p = picturefrombitmap(screen);
        benchmark::DoNotOptimize(p.rgb().data());
    }
}

} // namespace

BENCHMARK(BM_ByteLayerScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetScreenshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
