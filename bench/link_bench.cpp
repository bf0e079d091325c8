// Throughput of the byte layer against the in-process virtual TI-92 at instant pace:
// bytes a second each way, port accesses a byte, and heap allocations a byte.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "link/link.h"
#include "vcalc/vcalc.h"

// Every allocation of the process is counted, the calculator's included.
#include "support/heapcount.h"

namespace {

using namespace tessaly;

// The computer and the calculator on one simulated or real clock.
struct Bench {
    explicit Bench(bool simulated) {
        if (simulated) clock = std::make_unique<SimClock>();
        else clock = std::make_unique<SystemClock>();
        calc = std::make_unique<VirtualTI92>(*clock);
        calc->setpace(0);
        calc->settracing(false);  // its wire trace would grow with every byte
        port = std::make_unique<VirtualPort>(*calc, dynamic_cast<SimClock*>(clock.get()));
        link = std::make_unique<Link>(*port, *clock, pump, state);
        state.linkok = true;
        link->releaselines();
    }
    std::unique_ptr<Clock> clock;
    std::unique_ptr<VirtualTI92> calc;
    std::unique_ptr<VirtualPort> port;
    NullPump pump;
    TransferState state;
    std::unique_ptr<Link> link;
};

void report(benchmark::State& st, const Bench& b, std::uint64_t bytes, std::uint64_t accesses, std::size_t allocs) {
    if (!b.state.linkok) st.SkipWithError(b.state.pendingerror.c_str());
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["accesses/byte"] = double(accesses) / double(bytes);
    st.counters["allocs/byte"] = double(allocs) / double(bytes);
}

// The calculator takes anything whose first byte names no computer, so a stream of
// 0x55 (alternating 1 and 0 bits) keeps it receiving without answering.
void BM_SendByte(benchmark::State& st) {
    Bench b(st.range(0) == 0);
    constexpr int kBlock = 4096;
    std::uint64_t bytes = 0, accesses = 0;
    std::size_t allocs = 0;
    for (auto _ : st) {
        const auto a0 = b.port->accesses();
        const heapcount::Scope heap;
        for (int i = 0; i < kBlock; ++i) b.link->sendbyte(0x55);
        allocs += heap.allocationcount();
        accesses += b.port->accesses() - a0;
        bytes += kBlock;
    }
    report(st, b, bytes, accesses, allocs);
}

// The calculator streams its screen as FCamera does: 5 + 3840 bytes without a request.
void BM_ReceiveByte(benchmark::State& st) {
    Bench b(st.range(0) == 0);
    constexpr int kStream = 5 + 3840;
    std::uint64_t bytes = 0, accesses = 0;
    std::size_t allocs = 0;
    for (auto _ : st) {
        st.PauseTiming();
        b.calc->fcamerastream(1);
        st.ResumeTiming();
        const auto a0 = b.port->accesses();
        const heapcount::Scope heap;
        for (int i = 0; i < kStream; ++i) benchmark::DoNotOptimize(b.link->receivebyte());
        allocs += heap.allocationcount();
        accesses += b.port->accesses() - a0;
        bytes += kStream;
    }
    report(st, b, bytes, accesses, allocs);
}

} // namespace

// Argument 0: simulated clock (the clock costs nothing); 1: the system's steady clock.
BENCHMARK(BM_SendByte)->ArgName("systemclock")->Arg(0)->Arg(1);
BENCHMARK(BM_ReceiveByte)->ArgName("systemclock")->Arg(0)->Arg(1);

BENCHMARK_MAIN();
