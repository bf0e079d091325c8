// Receiving one variable from the virtual TI-92 reacting at once, against the bare byte
// layer reading the same bytes. Run: build/bench/receive_bench
// Compare s_per_byte of the two at the same size. heap_bytes counts every allocation
// during the exchange, the virtual TI-92's included; the reception's own share is the
// difference between the two benchmarks at the same size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "files/packagestore.h"
#include "link/link.h"
#include "link/packets.h"
#include "transfers/receive.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

using namespace tessaly;

// Heap use while a reception runs: memory flat in the variable's size means these do not
// grow with it.
#include "support/heapcount.h"

namespace {

// A calculator about to send one variable of its own accord, and a link to it.
struct Bench : bench::InstantCalculator {
    explicit Bench(std::size_t content) {
        CalcVariable v;
        v.name = "big";
        v.type = 0x12;
        v.data = {static_cast<std::uint8_t>(content >> 8), static_cast<std::uint8_t>(content & 0xFF)};
        for (std::size_t i = 0; i < content; ++i) v.data.push_back(static_cast<std::uint8_t>(i * 13));
        calc.memory().folders = {CalcFolder{"main", {v}}};
        std::string error;
        if (!calc.sendfromcalc({"main\\big"}, &error)) std::abort();
        state.linkok = true;
        link.releaselines();
    }
};

using Folder = bench::ScratchFolder;

// One packet of the calculator, byte by byte, its bytes dropped.
void readpacket(Link& link) {
    std::uint8_t head[4];
    for (auto& b : head) b = link.receivebyte();
    const CommandInfo* info = commandinfo(head[1]);
    if (!info || !info->carriesdata) return;
    const std::size_t rest = head[2] + 256u * head[3] + 2;
    for (std::size_t i = 0; i < rest; ++i) link.receivebyte();
}

// The bare byte layer: the same exchange, each byte received and dropped.
void BM_ByteLayerReceive(benchmark::State& st) {
    const auto content = static_cast<std::size_t>(st.range(0));
    std::size_t bytes = 0;
    std::size_t heapbytes = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b(content);
        const heapcount::Scope heap;
        st.ResumeTiming();
        readpacket(b.link);  // the variable header
        sendack(b.link);
        senddatarequest(b.link);
        readpacket(b.link);  // the acknowledge
        readpacket(b.link);  // the data
        st.PauseTiming();
        heapbytes = heap.requestedbytes();
        st.ResumeTiming();
        bytes += content;
        if (!b.state.linkok) st.SkipWithError("link failed");
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate |
                                                                                    benchmark::Counter::kInvert);
    // What the virtual TI-92 itself allocates to send (its own copy of the packet).
    st.counters["heap_bytes"] = static_cast<double>(heapbytes);
}

// receivevariable into the package store, the way the Receive button runs it.
void BM_ReceiveVariable(benchmark::State& st) {
    const auto content = static_cast<std::size_t>(st.range(0));
    Folder folder;
    const PackageStore store(folder.path);
    std::size_t bytes = 0;
    std::size_t heapbytes = 0, allocations = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b(content);
        ReceiveTarget target{b.shell, store, true, true, [](ListRow) {}, [] {}, {}, {}};
        const heapcount::Scope heap;
        st.ResumeTiming();
        const std::size_t stored = receivevariable(b.link, target, true, "").size();
        st.PauseTiming();
        heapbytes = heap.requestedbytes();
        allocations = heap.allocationcount();
        st.ResumeTiming();
        if (stored != 1) st.SkipWithError(b.state.pendingerror.c_str());
        bytes += content;
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate |
                                                                                    benchmark::Counter::kInvert);
    st.counters["heap_bytes"] = static_cast<double>(heapbytes);
    st.counters["allocations"] = static_cast<double>(allocations);
}

} // namespace

BENCHMARK(BM_ByteLayerReceive)->Arg(15360)->Arg(30720)->Arg(61440)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveVariable)->Arg(15360)->Arg(30720)->Arg(61440)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
