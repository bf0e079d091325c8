// Receiving one variable from the virtual TI-92 reacting at once, against the bare byte
// layer reading the same bytes. Run: build/bench/receive_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "files/packagestore.h"
#include "link/link.h"
#include "transfers/receive.h"
#include "vcalc/vcalc.h"

using namespace tessaly;

namespace {

class QuietShell final : public Shell {
public:
    void setstatus(std::string_view) override {}
    void setgaugemax(int) override {}
    void setgaugeposition(int) override {}
    void setcursor(Cursor) override {}
    Answer messagebox(std::string_view, std::string_view, Icon, Buttons) override { return Answer::Ok; }
    std::optional<std::string> inputbox(std::string_view, std::string_view, std::string_view) override { return {}; }
    std::optional<std::string> savedialog(const FileDialogSpec&) override { return {}; }
    std::optional<std::string> opendialog(const FileDialogSpec&) override { return {}; }
    void processmessages() override {}
};

// A calculator about to send one variable of its own accord, and a link to it.
struct Bench {
    SimClock clock;
    VirtualTI92 calc{clock};
    VirtualPort port{calc, &clock};
    QuietShell shell;
    TransferState state;
    Link link{port, clock, shell, state};

    explicit Bench(std::size_t content) {
        calc.setpace(0);
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

struct Folder {
    std::filesystem::path path;
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-bench-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

long maxrsskb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The bare byte layer: the same exchange, each byte received and dropped.
void BM_ByteLayerReceive(benchmark::State& st) {
    const auto content = static_cast<std::size_t>(st.range(0));
    std::size_t bytes = 0;
    for (auto _ : st) {
        st.PauseTiming();
        Bench b(content);
        st.ResumeTiming();
        for (int i = 0; i < 4 + 4 + 2 + 3 + 2; ++i) b.link.receivebyte();  // the header of "big"
        b.link.sendack();
        b.link.senddatarequest();
        for (std::size_t i = 0; i < 4 + 8 + 2 + content + 2; ++i) b.link.receivebyte();  // ack, data packet
        bytes += content;
        if (!b.state.linkok) st.SkipWithError("link failed");
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate |
                                                                                    benchmark::Counter::kInvert);
}

// receivevariable into the package store, the way the Receive button runs it.
void BM_ReceiveVariable(benchmark::State& st) {
    const auto content = static_cast<std::size_t>(st.range(0));
    Folder folder;
    const PackageStore store(folder.path);
    std::size_t bytes = 0;
    const long before = maxrsskb();
    for (auto _ : st) {
        st.PauseTiming();
        Bench b(content);
        ReceiveTarget target{b.shell, store, true, true, [](ListRow) {}, [] {}};
        st.ResumeTiming();
        if (receivevariable(b.link, target, true, "") != 1) st.SkipWithError(b.state.pendingerror.c_str());
        bytes += content;
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    st.counters["s_per_byte"] = benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsRate |
                                                                                    benchmark::Counter::kInvert);
    st.counters["maxrss_growth_kb"] = static_cast<double>(maxrsskb() - before);
}

} // namespace

BENCHMARK(BM_ByteLayerReceive)->Arg(61440)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveVariable)->Arg(15360)->Arg(30720)->Arg(61440)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
