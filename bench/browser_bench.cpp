// Rebuilding the file browser's list for a folder of 10,000 TI-92 files with descriptions
// on, beside a bare loop that opens each file and reads its first 128 bytes. The window
// fills its list 200 rows at a time and looks at its events in between, so the longest
// 200-row stretch is how long it can keep input waiting.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/browser.h"

namespace tessaly {
namespace {

constexpr int kFiles = 10000;
constexpr std::size_t kBatch = 200;

// A single-variable file; every tenth one a FARGO program with a description.
std::string tifile(int i) {
    std::string b(160, '\0');
    b.replace(0, 8, "**TI92**");
    b[8] = 1;
    const std::string comment = "file number " + std::to_string(i);
    b.replace(18, comment.size(), comment);
    b[58] = 1;
    if (i % 10 == 0) {
        b[89] = 0x50;
        b[101] = 40;
        b.replace(128, 12, "Tetris clone");
    }
    return b;
}

const std::filesystem::path& folder() {
    static const std::filesystem::path dir = [] {
        static std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-browse-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(pattern, ec);
        });
        for (int i = 0; i < kFiles; ++i)
            std::ofstream(std::filesystem::path(pattern) / std::string("f").append(std::to_string(i)).append(".92p"),
                          std::ios::binary)
                << tifile(i);
        return std::filesystem::path(pattern);
    }();
    return dir;
}

std::vector<std::string> names() {
    std::string why;
    return listfolder(folder(), browsermask(true, true), &why);
}

void BM_BareOpenAndRead128(benchmark::State& state) {
    const auto list = names();
    for (auto _ : state) {
        for (const auto& name : list) {
            char head[128];
            const int fd = ::open((folder() / name).c_str(), O_RDONLY);
            benchmark::DoNotOptimize(::read(fd, head, sizeof head));
            ::close(fd);
        }
    }
    state.counters["files"] = static_cast<double>(list.size());
}

void BM_RebuildWithDescriptions(benchmark::State& state) {
    double longest = 0;
    for (auto _ : state) {
        const auto list = names();  // the folder is re-read on every rebuild
        for (std::size_t at = 0; at < list.size(); at += kBatch) {
            const auto start = std::chrono::steady_clock::now();
            const std::vector<std::string> part(list.begin() + static_cast<std::ptrdiff_t>(at),
                                                list.begin() + static_cast<std::ptrdiff_t>(std::min(list.size(), at + kBatch)));
            benchmark::DoNotOptimize(browserrows(folder(), part, true));
            longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.counters["longest_200_rows_ms"] = longest;
}

BENCHMARK(BM_BareOpenAndRead128)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildWithDescriptions)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tessaly

BENCHMARK_MAIN();
