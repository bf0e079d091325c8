// A 10 KB variable over the grey cable at 9600 baud: the virtual TI-92 behind a modelled
// serial line on a pseudo-terminal, the program on the real grey-cable code. Run:
// build/bench/grey_bench. line_share is the variable's bytes a second over the line's
// 960 (9600 baud, ten bits a byte): what is not there went to packet framing, the
// acknowledgements and turnarounds.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "files/packagestore.h"
#include "files/packagewriter.h"
#include "link/link.h"
#include "link/ports/greyport.h"
#include "transfers/receive.h"
#include "transfers/send.h"
#include "vcalc/greyserver.h"
#include "vcalc/vcalc.h"

#include "support/rig.h"

using namespace tessaly;

namespace {

constexpr std::size_t kContent = 10240;
constexpr double kLineBytesPerSecond = 9600.0 / 10;

using Folder = bench::ScratchFolder;

// Stored bytes: the size word, high byte first, then the content.
std::vector<std::uint8_t> stored(std::size_t content) {
    std::vector<std::uint8_t> v{static_cast<std::uint8_t>(content >> 8), static_cast<std::uint8_t>(content & 0xFF)};
    for (std::size_t i = 0; i < content; ++i) v.push_back(static_cast<std::uint8_t>(i * 13));
    return v;
}

struct Bench {
    Folder folder;
    SystemClock clock;
    VirtualCalculator calc{clock};
    GreyServer server{calc};
    std::thread serving;
    std::unique_ptr<GreyPort> port;
    NullProgress shell;
    TransferState state;
    std::unique_ptr<Link> link;

    Bench() {
        calc.settracing(false);
        calc.memory().folders = {CalcFolder{"main", {CalcVariable{"big", 0x0B, stored(kContent), false}}}};
        const std::string path = (folder.path / "ti92").string();
        std::string error;
        if (!server.open(path, &error)) std::abort();
        server.setbaud(9600);
        serving = std::thread([this] { server.run(); });
        port = std::make_unique<GreyPort>(path);
        if (!port->open()) std::abort();
        link = std::make_unique<Link>(*port, clock, shell, state);
    }
    ~Bench() {
        server.stop();
        serving.join();
    }
};

void report(benchmark::State& st, const Bench& b, double seconds, std::size_t iterations) {
    if (!b.state.linkok) st.SkipWithError(b.state.pendingerror.c_str());
    const double rate = double(kContent) * double(iterations) / seconds;
    st.counters["var_B/s"] = rate;
    st.counters["line_share"] = rate / kLineBytesPerSecond;
}

// The computer asks for the variable and receives it.
void BM_GreyReceive10K(benchmark::State& st) {
    Bench b;
    const std::filesystem::path storefolder = b.folder.path / "store";
    std::filesystem::create_directories(storefolder);
    PackageStore store(storefolder);
    double seconds = 0;
    std::size_t n = 0;
    for (auto _ : st) {
        b.state.linkok = true;
        ReceiveTarget into{b.shell, store, false, true, [](ListRow) {}, [] {}, {}, {}};
        const auto t0 = std::chrono::steady_clock::now();
        const ReceiveResult r = receiverequested(*b.link, into, {{"main\\big", 0x0B}});
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
        if (r.received.size() != 1) st.SkipWithError("not received");
    }
    report(st, b, seconds, n);
}

// The computer sends the variable (the calculator replaces its own).
void BM_GreySend10K(benchmark::State& st) {
    Bench b;
    // The file to send: the variable received once and saved, as a user would.
    const std::filesystem::path storefolder = b.folder.path / "store";
    std::filesystem::create_directories(storefolder);
    PackageStore store(storefolder);
    b.state.linkok = true;
    ReceiveTarget into{b.shell, store, false, true, [](ListRow) {}, [] {}, {}, {}};
    receiverequested(*b.link, into, {{"main\\big", 0x0B}});
    const std::filesystem::path file = b.folder.path / "big.92t";
    std::string comment = "bench";
    if (!b.state.linkok || !savepackage(file, false, store, comment, b.shell, b.state, nullptr, kTI92)) {
        st.SkipWithError("no file to send");
        return;
    }
    double seconds = 0;
    std::size_t n = 0;
    for (auto _ : st) {
        b.state.linkok = true;
        const auto t0 = std::chrono::steady_clock::now();
        const SendResult r = sendvariables(*b.link, b.shell, file);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
        if (r.sent.size() != 1) st.SkipWithError("not sent");
    }
    report(st, b, seconds, n);
}

} // namespace

BENCHMARK(BM_GreyReceive10K)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_GreySend10K)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
