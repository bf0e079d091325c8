// Saving a package: the package writer against `cp` of the same bytes, side by side, and
// the writer's heap use for packages of growing size (it streams through a fixed buffer,
// so its peak should not grow with the package).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <string>

#include "files/packagestore.h"
#include "files/packagewriter.h"

extern char** environ;

// Heap accounting: live bytes and their peak, through the global allocator.
#include "support/heapcount.h"

namespace tessaly {
namespace {

constexpr std::int32_t kVariableSize = 60 * 1024;

std::filesystem::path workdir() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

// A package store of count variables of 60 KB each, made once per size.
const PackageStore& package(int count) {
    static std::map<int, PackageStore> stores;
    auto it = stores.find(count);
    if (it != stores.end()) return it->second;
    auto folder = workdir() / ("store" + std::to_string(count));
    std::filesystem::create_directories(folder);
    PackageStore store(folder);
    PackageStoreWriter w(store);
    if (!w.open(true, nullptr)) std::abort();
    std::vector<std::uint8_t> bytes(kVariableSize);
    for (int i = 0; i < count; ++i) {
        for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(i * 31 + k);
        bytes[0] = static_cast<std::uint8_t>((kVariableSize - 2) >> 8);
        bytes[1] = static_cast<std::uint8_t>((kVariableSize - 2) & 0xFF);
        PackageRecord r{std::string("f").append(std::to_string(i / 20)).append("\\v").append(std::to_string(i)),
                        static_cast<std::int32_t>(w.dataposition()), 0, kVariableSize, 0x12};
        w.writedata(bytes.data(), bytes.size());
        r.end = static_cast<std::int32_t>(w.dataposition());
        w.appendrecord(r);
    }
    if (!w.close(nullptr)) std::abort();
    return stores.emplace(count, store).first->second;
}

void BM_saveas92g(benchmark::State& state) {
    const PackageStore& store = package(static_cast<int>(state.range(0)));
    NullProgress shell;
    TransferState ts;
    const auto dest = workdir() / "package.92g";
    std::size_t peak = 0, allocations = 0;
    for (auto _ : state) {
        std::string comment = "bench";
        const heapcount::Scope heap;
        if (!savepackage(dest, false, store, comment, shell, ts, nullptr, kTI92)) state.SkipWithError("save failed");
        peak = std::max(peak, heap.peakbytes());
        allocations = heap.allocationcount();
    }
    const auto bytes = std::filesystem::file_size(dest);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["heap_peak_KB"] = double(peak) / 1024;
    state.counters["allocations"] = double(allocations);
}
BENCHMARK(BM_saveas92g)->Arg(10)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// `cp` of the package data file: the same bytes through the same file system, plus
// the cost of starting a process, as a user would pay it.
void BM_cp(benchmark::State& state) {
    const PackageStore& store = package(static_cast<int>(state.range(0)));
    const std::string from = store.datapath().string(), to = (workdir() / "copy.bin").string();
    for (auto _ : state) {
        pid_t pid;
        const char* argv[] = {"cp", from.c_str(), to.c_str(), nullptr};
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("cannot start cp");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(store.datapath())) * state.iterations());
}
BENCHMARK(BM_cp)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// Collects the times of the two runs on 200 variables for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.aggregate_name.size()) continue;
            const std::string name = r.benchmark_name();
            if (name.starts_with("BM_saveas92g/200")) save = r.GetAdjustedRealTime();
            if (name.starts_with("BM_cp/200")) cp = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double save = 0, cp = 0;
};

} // namespace
} // namespace tessaly

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    tessaly::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.save > 0 && reporter.cp > 0)
        std::printf("\nsaveas92g / cp on 200 x 60 KB: %.2f (%.2f ms against %.2f ms)\n", reporter.save / reporter.cp,
                    reporter.save, reporter.cp);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak RSS of the whole benchmark process: %ld KB\n", ru.ru_maxrss);
    std::error_code ec;
    std::filesystem::remove_all(tessaly::workdir(), ec);
    benchmark::Shutdown();
    return 0;
}
