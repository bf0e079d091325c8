#pragma once
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"

namespace tessaly::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-files-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline Bytes readbytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writebytes(const std::filesystem::path& p, const Bytes& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t dwordat(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
inline std::uint16_t wordat(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

// Stored bytes of a variable: the big-endian length word and content bytes.
inline Bytes stored(const Bytes& content) {
    Bytes s(content.size() + 2);
    s[0] = static_cast<std::uint8_t>(content.size() >> 8);
    s[1] = static_cast<std::uint8_t>(content.size() & 0xFF);
    std::copy(content.begin(), content.end(), s.begin() + 2);
    return s;
}
// Stored bytes of S bytes in all: length word S - 2, content filled with a pattern.
inline Bytes storedofsize(std::size_t s, std::uint8_t seed = 1) {
    Bytes content(s - 2);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(seed + i * 7);
    return stored(content);
}

struct StagedVariable {
    std::string name;  // "folder\name" or "name"
    std::uint8_t type;
    Bytes data;        // the S stored bytes
};

// Fills the package store as a receive would, through the store's own writer.
inline void stage(const PackageStore& store, const std::vector<StagedVariable>& vars) {
    if (vars.empty()) {  // an empty store: a writer starts a new package only with a variable
        writebytes(store.indexpath(), {});
        writebytes(store.datapath(), {});
        return;
    }
    PackageStoreWriter w(store);
    if (!w.open(true, nullptr)) std::abort();
    for (const auto& v : vars) {
        PackageRecord r;
        r.name = v.name;
        r.type = v.type;
        r.start = static_cast<std::int32_t>(w.dataposition());
        w.writedata(v.data.data(), v.data.size());
        r.end = static_cast<std::int32_t>(w.dataposition());
        r.size = static_cast<std::int32_t>(v.data.size());
        w.appendrecord(r);
    }
    if (!w.close(nullptr)) std::abort();
}

// Builds TI-92 files byte by byte from the layout, independently of the writer.
class GoldenFile {
public:
    GoldenFile(std::string_view comment, std::uint8_t entries) {
        text("**TI92**");
        put(0x01);
        put(0x00);
        zeros(8);
        text(comment.substr(0, 34));
        zeros(34 - std::min<std::size_t>(comment.size(), 34) + 6);
        put(entries);
        put(0x00);
    }
    GoldenFile& entry(std::uint32_t offset, std::string_view name, std::uint8_t type, std::uint16_t count = 0,
                      std::uint8_t attribute = 0) {
        dword(offset);
        text(name);
        zeros(8 - name.size());
        put(type);
        put(attribute);
        put(count & 0xFF);
        put(count >> 8);
        return *this;
    }
    GoldenFile& sizefield(std::uint32_t size) {
        dword(size);
        put(0xA5);
        put(0x5A);
        return *this;
    }
    GoldenFile& section(const Bytes& storedbytes, bool backup = false) {
        if (!backup) zeros(4);
        std::uint16_t sum = 0;
        for (auto b : storedbytes) sum = static_cast<std::uint16_t>(sum + b);
        bytes.insert(bytes.end(), storedbytes.begin(), storedbytes.end());
        put(sum & 0xFF);
        put(sum >> 8);
        return *this;
    }
    GoldenFile& put(unsigned b) {
        bytes.push_back(static_cast<std::uint8_t>(b));
        return *this;
    }
    GoldenFile& text(std::string_view t) {
        for (char c : t) bytes.push_back(static_cast<std::uint8_t>(c));
        return *this;
    }
    GoldenFile& zeros(std::size_t n) {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    GoldenFile& dword(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) put((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Bytes bytes;
};

} // namespace tessaly::test
