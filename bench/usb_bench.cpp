// Variables of 1 KB, 20 KB and 60 KB and a screenshot to and from the virtual Titanium over
// its USB end (tessaly92-vcalc --model ti89t --usb, instant pace) through LINK usb-socket.
// Run: build/bench/usb_bench
// bytes_per_second is the variable's (or the screen's) bytes over the wall time of the whole
// exchange; own_cpu is the share of that wall time this process spent on the CPU (user and
// system): the rest is the server's and the socket's.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/cable.h"
#include "link/linkspec.h"
#include "transfers/receive.h"
#include "transfers/screenshot.h"
#include "transfers/variablesend.h"
#include "vcalc/statefile.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

using namespace tessaly;

namespace {

// The server in its own process, so its time is not counted as ours.
struct Server {
    bench::ScratchFolder folder;
    std::string socket = (folder.path / "usb").string();
    pid_t pid = -1;
    Server() {
        pid = ::fork();
        if (pid == 0) {
            ::execl(TESSALY_VCALC, TESSALY_VCALC, "--model", "ti89t", "--usb", socket.c_str(), "--pace", "instant",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~Server() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
};

struct Session {
    Server server;
    SystemClock clock;
    NullProgress shell;
    TransferState state;
    std::unique_ptr<Cable> cable;
    Session() {
        std::string error;
        cable = std::make_unique<Cable>(*parselinkspec("usb-socket:" + server.socket, &error), clock, shell, state);
    }
    Link& link() { return cable->link(); }
};

double cpuseconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs one exchange per iteration, timed by the wall clock, counting our CPU time beside it.
template <typename F> void measure(benchmark::State& st, std::size_t bytes, F exchange) {
    double cpu = 0, wall = 0;
    for (auto _ : st) {
        const auto w0 = std::chrono::steady_clock::now();
        const double c0 = cpuseconds();
        if (!exchange()) st.SkipWithError("the exchange failed");
        cpu += cpuseconds() - c0;
        const std::chrono::duration<double> w = std::chrono::steady_clock::now() - w0;
        wall += w.count();
        st.SetIterationTime(w.count());
    }
    st.counters["bytes_per_second"] = benchmark::Counter(static_cast<double>(st.iterations() * bytes) / wall);
    st.counters["own_cpu"] = benchmark::Counter(cpu / wall);
}

// One string variable of s stored bytes in a file of the Titanium's.
std::filesystem::path variablefile(const std::filesystem::path& folder, std::size_t s) {
    std::vector<std::uint8_t> data(s, 'a');
    data[0] = static_cast<std::uint8_t>((s - 2) >> 8);
    data[1] = static_cast<std::uint8_t>(s - 2);
    data[s - 1] = 0x2D;
    CalcMemory memory;
    memory.folders = {{"main", {{"big", 0x0C, data}}}};  // a string: type 0C, its tag 2D last
    const auto path = folder / "big.89s";
    std::string error;
    savecalcmemory(path.string(), memory, &error, kTI89Titanium);
    return path;
}

void BM_SendVariable(benchmark::State& st) {
    Session s;
    const std::size_t size = static_cast<std::size_t>(st.range(0)) * 1024;
    const auto path = variablefile(s.server.folder.path, size);
    measure(st, size, [&] {
        s.state.linkok = true;
        return sendvariables(s.link(), s.shell, path).sent.size() == 1;
    });
}

void BM_ReceiveVariable(benchmark::State& st) {
    Session s;
    const std::size_t size = static_cast<std::size_t>(st.range(0)) * 1024;
    const auto path = variablefile(s.server.folder.path, size);
    s.state.linkok = true;
    sendvariables(s.link(), s.shell, path);
    PackageStore store(s.server.folder.path);
    ReceiveTarget into{s.shell, store, false, true, [](ListRow) {}, [] {}, {}, {}};
    measure(st, size, [&] {
        s.state.linkok = true;
        return receiverequested(s.link(), into, {{"main\\big", 0x0C}}).received.size() == 1;
    });
}

void BM_Screenshot(benchmark::State& st) {
    Session s;
    measure(st, kTI89Titanium.screenbytes(), [&] {
        s.state.linkok = true;
        return getscreenshot(s.link(), s.shell).complete;
    });
}

} // namespace

BENCHMARK(BM_SendVariable)->Arg(1)->Arg(20)->Arg(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveVariable)->Arg(1)->Arg(20)->Arg(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Screenshot)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
