// Throughput of the byte layer against the in-process virtual TI-92 at instant pace:
// bytes a second each way, port accesses a byte (reads and writes), and heap allocations a
// byte; and the port accesses a byte of a whole 2 KB variable sent and received.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "files/packagestore.h"
#include "link/link.h"
#include "transfers/readiness.h"
#include "transfers/receive.h"
#include "transfers/send.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

// Every allocation of the process is counted, the calculator's included.
#include "support/heapcount.h"

namespace {

using namespace tessaly;

// Counts the reads and writes that reach the virtual TI-92's port.
class CountingPort final : public Port {
public:
    explicit CountingPort(Port& inner) : m_inner(inner) {}
    void setlines(Lines drivers) override {
        ++writes;
        m_inner.setlines(drivers);
    }
    Lines readlines() override {
        ++reads;
        return m_inner.readlines();
    }
    std::uint64_t reads = 0, writes = 0;

private:
    Port& m_inner;
};

struct Tally {
    std::uint64_t bytes = 0, reads = 0, writes = 0;
};

// Splits the accesses of an exchange by direction: a byte is traced once its last bit is
// through, so what was spent since the byte before goes to it.
class DirectionTally final : public TraceSink {
public:
    explicit DirectionTally(const CountingPort& port) : m_port(port) {}
    void byte(Direction dir, std::uint8_t) override {
        Tally& t = dir == Direction::ToCalc ? sent : received;
        ++t.bytes;
        t.reads += m_port.reads - m_reads;
        t.writes += m_port.writes - m_writes;
        m_reads = m_port.reads;
        m_writes = m_port.writes;
    }
    Tally sent, received;

private:
    const CountingPort& m_port;
    std::uint64_t m_reads = 0, m_writes = 0;
};

void counters(benchmark::State& st, const char* prefix, const Tally& t) {
    const double n = t.bytes ? double(t.bytes) : 1.0;
    st.counters[std::string(prefix) + "accesses/byte"] = double(t.reads + t.writes) / n;
    st.counters[std::string(prefix) + "reads/byte"] = double(t.reads) / n;
    st.counters[std::string(prefix) + "writes/byte"] = double(t.writes) / n;
}

// The computer and the calculator on one simulated or real clock.
struct Bench {
    explicit Bench(bool simulated) {
        if (simulated) clock = std::make_unique<SimClock>();
        else clock = std::make_unique<SystemClock>();
        calc = std::make_unique<VirtualCalculator>(*clock);
        calc->setpace(0);
        calc->settracing(false);  // its wire trace would grow with every byte
        port = std::make_unique<VirtualPort>(*calc, dynamic_cast<SimClock*>(clock.get()));
        counting = std::make_unique<CountingPort>(*port);
        link = std::make_unique<Link>(*counting, *clock, pump, state);
        state.linkok = true;
        link->releaselines();
    }
    std::unique_ptr<Clock> clock;
    std::unique_ptr<VirtualCalculator> calc;
    std::unique_ptr<VirtualPort> port;
    std::unique_ptr<CountingPort> counting;
    NullPump pump;
    TransferState state;
    std::unique_ptr<Link> link;
};

void report(benchmark::State& st, const Bench& b, const Tally& t, std::size_t allocs) {
    if (!b.state.linkok) st.SkipWithError(b.state.pendingerror.c_str());
    st.SetBytesProcessed(static_cast<std::int64_t>(t.bytes));
    counters(st, "", t);
    st.counters["allocs/byte"] = double(allocs) / double(t.bytes);
}

// Runs one block of bytes and adds its accesses to the tally.
template <typename Block>
void measure(Bench& b, Tally& t, std::size_t& allocs, int bytes, Block block) {
    const auto r0 = b.counting->reads, w0 = b.counting->writes;
    const heapcount::Scope heap;
    block();
    allocs += heap.allocationcount();
    t.reads += b.counting->reads - r0;
    t.writes += b.counting->writes - w0;
    t.bytes += static_cast<std::uint64_t>(bytes);
}

// The calculator takes anything whose first byte names no computer, so a stream of
// 0x55 (alternating 1 and 0 bits) keeps it receiving without answering.
void BM_SendByte(benchmark::State& st) {
    Bench b(st.range(0) == 0);
    constexpr int kBlock = 4096;
    Tally t;
    std::size_t allocs = 0;
    for (auto _ : st)
        measure(b, t, allocs, kBlock, [&] {
            for (int i = 0; i < kBlock; ++i) b.link->sendbyte(0x55);
        });
    report(st, b, t, allocs);
}

// The calculator streams its screen as FCamera does: 5 + 3840 bytes without a request.
void BM_ReceiveByte(benchmark::State& st) {
    Bench b(st.range(0) == 0);
    constexpr int kStream = 5 + 3840;
    Tally t;
    std::size_t allocs = 0;
    for (auto _ : st) {
        st.PauseTiming();
        b.calc->fcamerastream(1);
        st.ResumeTiming();
        measure(b, t, allocs, kStream, [&] {
            for (int i = 0; i < kStream; ++i) benchmark::DoNotOptimize(b.link->receivebyte());
        });
    }
    report(st, b, t, allocs);
}

// A whole exchange on the instant calculator, its accesses counted by direction.
struct Exchange : bench::InstantCalculator {
    CountingPort counting{port};
    DirectionTally tally{counting};
    Exchange() {
        calc.setmemorycapacity(1u << 24);
        link.setport(counting);
        link.settrace(&tally);
    }
};

constexpr std::size_t kVariable = 2048;

void BM_SendVariable2K(benchmark::State& st) {
    const bench::ScratchFolder folder;
    const auto path = bench::tifile(folder.path, kVariable, false);
    Tally sent, received;
    for (auto _ : st) {
        st.PauseTiming();
        Exchange x;
        st.ResumeTiming();
        if (sendvariables(x.link, x.shell, path).sent.size() != 1) st.SkipWithError(x.state.pendingerror.c_str());
        sent = x.tally.sent;
        received = x.tally.received;
    }
    counters(st, "sent_", sent);
    counters(st, "received_", received);
}

void BM_ReceiveVariable2K(benchmark::State& st) {
    const bench::ScratchFolder folder;
    const PackageStore store(folder.path);
    Tally sent, received;
    for (auto _ : st) {
        st.PauseTiming();
        Exchange x;
        CalcVariable v{"big", 0x12, {kVariable >> 8, kVariable & 0xFF}, false};
        for (std::size_t i = 0; i < kVariable; ++i) v.data.push_back(static_cast<std::uint8_t>(i * 13));
        x.calc.memory().folders = {CalcFolder{"main", {v}}};
        std::string error;
        if (!x.calc.sendfromcalc({"main\\big"}, &error)) std::abort();
        ReceiveTarget target{x.shell, store, true, true, [](ListRow) {}, [] {}, {}, {}};
        st.ResumeTiming();
        if (receivevariable(x.link, target, true, "").size() != 1) st.SkipWithError(x.state.pendingerror.c_str());
        sent = x.tally.sent;
        received = x.tally.received;
    }
    counters(st, "sent_", sent);
    counters(st, "received_", received);
}

// The ready check: four bytes each way, the packets every transfer starts with.
void BM_ReadyCheck(benchmark::State& st) {
    Tally both;
    for (auto _ : st) {
        st.PauseTiming();
        Exchange x;
        st.ResumeTiming();
        if (!readinessexchange(x.link)) st.SkipWithError(x.state.pendingerror.c_str());
        both = x.tally.sent;
        both.bytes += x.tally.received.bytes;
        both.reads += x.tally.received.reads;
        both.writes += x.tally.received.writes;
    }
    counters(st, "", both);
}

} // namespace

// Argument 0: simulated clock (the clock costs nothing); 1: the system's steady clock.
BENCHMARK(BM_SendByte)->ArgName("systemclock")->Arg(0)->Arg(1);
BENCHMARK(BM_ReceiveByte)->ArgName("systemclock")->Arg(0)->Arg(1);
BENCHMARK(BM_SendVariable2K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveVariable2K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadyCheck);

BENCHMARK_MAIN();
