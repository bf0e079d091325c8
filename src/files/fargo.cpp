#include "files/fargo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/safefile.h"
#include "files/tifile.h"

namespace tessaly {

namespace {

constexpr std::size_t kHeadLimit = 128 * 1024;

bool terminator(std::uint8_t c) { return c == 0x00 || c == 0x81; }

// Bytes from position up to a 0x00 or 0x81 (or the end); position moves past the terminator.
std::string fargotext(std::span<const std::uint8_t> bytes, std::size_t& position) {
    std::string text;
    while (position < bytes.size() && !terminator(bytes[position])) text.push_back(static_cast<char>(bytes[position++]));
    if (position < bytes.size()) ++position;
    return text;
}

} // namespace

FargoKind fargokind(std::span<const std::uint8_t> bytes) {
    if (bytes.size() <= kFargoKindOffset) return FargoKind::None;
    switch (bytes[kFargoKindOffset]) {
    case kFargoProgramKind: return FargoKind::Program;
    case kFargoLibraryKind: return FargoKind::Library;
    default: return FargoKind::None;
    }
}

std::vector<std::string> fargolibraries(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> names;
    auto v = readwordbe(bytes, kFargoLibraryWordOffset);
    if (!v) return names;
    std::size_t position = kFargoKindOffset + *v;
    if (position >= bytes.size()) return names;
    const unsigned count = bytes[position++];
    for (unsigned i = 0; i < count && position < bytes.size(); ++i) names.push_back(fargotext(bytes, position));
    return names;
}

std::string fargodescription(std::span<const std::uint8_t> bytes) {
    auto d = readwordbe(bytes, kFargoDescriptionWordOffset);
    if (!d) return {};
    std::size_t position = 88 + std::size_t(*d);
    return fargotext(bytes, position);
}

FargoMeta fargometa(std::span<const std::uint8_t> bytes) {
    FargoMeta m;
    m.kind = fargokind(bytes);
    if (m.kind == FargoKind::Program) {
        m.libraries = fargolibraries(bytes);
        m.description = fargodescription(bytes);
    }
    return m;
}

bool readfilehead(const std::filesystem::path& path, std::vector<std::uint8_t>& head, std::uint64_t& length,
                  std::string* error) {
    head.clear();
    length = 0;
    std::FILE* fp = openregular(path, error);
    struct stat st {};
    if (!fp) return false;
    if (fstat(fileno(fp), &st) != 0) {
        if (error) *error = "Cannot open " + path.filename().string() + ": " + std::strerror(errno);
        std::fclose(fp);
        return false;
    }
    length = static_cast<std::uint64_t>(st.st_size);
    head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, std::max(kHeadLimit, tidatastart(kTiMaxEntries)))));
    const std::size_t got = std::fread(head.data(), 1, head.size(), fp);
    std::fclose(fp);
    if (got != head.size()) {
        head.clear();
        if (error) *error = "Cannot read " + path.filename().string();
        return false;
    }
    return true;
}

FargoMeta readfargometa(const std::filesystem::path& path) {
    std::vector<std::uint8_t> head;
    std::uint64_t length = 0;
    if (!readfilehead(path, head, length, nullptr)) return {};
    return fargometa(head);
}

} // namespace tessaly
