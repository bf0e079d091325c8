#pragma once
// What the fuzz targets share: the input as exactly its bytes on the heap, a scratch
// folder, a calculator that answers with the input's bytes on simulated time, and quiet
// stand-ins for the user's side.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/savequestions.h"
#include "link/bytestream.h"
#include "link/clock.h"
#include "link/progress.h"

namespace tessaly::fuzz {

// A check that holds for every input; a broken one is a finding.
#define FUZZ_REQUIRE(cond) \
    do {                   \
        if (!(cond)) {     \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();  \
        }                  \
    } while (0)

// The input copied to exactly its size on the heap, so a read one past it is caught.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_bytes(size ? size : 1) {
        std::copy(data, data + size, m_bytes.begin());
        m_size = size;
    }
    std::span<const std::uint8_t> bytes() const { return {m_bytes.data(), m_size}; }
    std::string_view text() const { return {reinterpret_cast<const char*>(m_bytes.data()), m_size}; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_size = 0;
};

// Takes the input apart: small numbers that steer a target first, the rest as data.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint8_t byte() { return m_pos < m_bytes.size() ? m_bytes[m_pos++] : 0; }
    std::span<const std::uint8_t> take(std::size_t n) {
        n = std::min(n, m_bytes.size() - m_pos);
        auto out = m_bytes.subspan(m_pos, n);
        m_pos += n;
        return out;
    }
    std::span<const std::uint8_t> rest() { return take(m_bytes.size() - m_pos); }
    std::size_t left() const { return m_bytes.size() - m_pos; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// A folder of this process's own, emptied for every input.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("tessaly-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}
inline void clearscratch() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(scratch(), ec)) std::filesystem::remove_all(e.path(), ec);
}
inline void writefile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The input read as packets whose checksums the target works out: a header (machine,
// command, length) and, for a command that carries data, that many bytes (as far as they
// go) followed by their right sum. Checksums are the one thing the fuzzer cannot guess,
// and without them every packet with data would end at the first check.
inline std::vector<std::uint8_t> framed(std::span<const std::uint8_t> in, bool (*carries)(std::uint8_t)) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < in.size()) {
        const std::size_t head = std::min<std::size_t>(4, in.size() - i);
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.begin() + static_cast<std::ptrdiff_t>(i + head));
        i += head;
        if (head < 4 || !carries(in[i - 3])) continue;
        const std::size_t length = std::min<std::size_t>(in[i - 2] | in[i - 1] << 8, in.size() - i);
        std::uint16_t sum = 0;
        for (std::size_t k = 0; k < length; ++k) sum = static_cast<std::uint16_t>(sum + in[i + k]);
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.begin() + static_cast<std::ptrdiff_t>(i + length));
        out.push_back(static_cast<std::uint8_t>(sum & 0xFF));
        out.push_back(static_cast<std::uint8_t>(sum >> 8));
        i += length;
    }
    return out;
}

// A calculator behind a byte-level cable whose answers are the given bytes, handed over
// `chunk` at a time as a cable gathers them. Silence moves the simulated clock by the
// whole wait, so a timeout costs no real time; an exchange that keeps waiting past
// `limitmicros` of it hangs, which is a finding.
class ScriptedStream final : public ByteStream {
public:
    ScriptedStream(SimClock& clock, std::vector<std::uint8_t> answers, std::size_t chunk, std::uint64_t limitmicros)
        : m_clock(clock), m_answers(std::move(answers)), m_chunk(chunk), m_limit(limitmicros) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        m_clock.advance(bytes.size() * 50);
        FUZZ_REQUIRE(m_clock.micros() < m_limit);
        written += bytes.size();
        return true;
    }
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override {
        FUZZ_REQUIRE(m_clock.micros() < m_limit);
        if (m_pos >= m_answers.size()) {
            m_clock.sleep(timeoutms);
            return 0;
        }
        const std::size_t n = std::min({m_chunk, out.size(), m_answers.size() - m_pos});
        std::copy_n(m_answers.begin() + static_cast<std::ptrdiff_t>(m_pos), n, out.begin());
        m_pos += n;
        m_clock.advance(100);
        return static_cast<int>(n);
    }
    std::size_t written = 0;

private:
    SimClock& m_clock;
    std::vector<std::uint8_t> m_answers;
    std::size_t m_pos = 0;
    std::size_t m_chunk;
    std::uint64_t m_limit;
};

// The user's side: it reports nothing, answers every save with a place in the scratch
// folder and remembers failures.
class QuietUser final : public NullProgress, public SaveQuestions {
public:
    std::string comment(SaveKind, std::string_view) override { return "fuzz"; }
    std::optional<std::filesystem::path> destination(SaveKind, std::string_view suggested, const CalculatorModel&) override {
        return scratch() / ("saved-" + std::string(suggested.empty() ? "x" : suggested));
    }
    void failed(std::string_view) override { ++failures; }
    int failures = 0;
};

} // namespace tessaly::fuzz
