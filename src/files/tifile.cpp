#include "files/tifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "files/safefile.h"
#include "link/byteorder.h"

namespace tessaly {
namespace {

constexpr std::size_t kOutputBuffer = 256 * 1024;

std::string num(std::uint64_t v) { return std::to_string(v); }

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

} // namespace

std::optional<std::uint16_t> readwordle(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::optional<std::uint16_t> readwordbe(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

std::optional<std::uint32_t> readdwordle(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[offset + i];
    return v;
}

std::string readnamefield(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
    std::string name;
    for (std::size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
        std::uint8_t c = bytes[offset + i];
        if (c == 0) break;
        name.push_back(static_cast<char>(c));
    }
    return name;
}

std::vector<const TiEntry*> TiFile::variables() const {
    std::vector<const TiEntry*> v;
    for (const auto& e : entries)
        if (!e.isfolder()) v.push_back(&e);
    return v;
}

namespace {

// O(0) .. O(n), the last being the file-size field. A folder entry's offset is read by
// no rule, and other writers put anything there (0, say): only the offsets that frame
// a variable's data are checked.
bool readoffsets(const TiFile& f, std::span<const std::uint8_t> prefix, std::uint64_t datastart,
                 std::vector<std::uint32_t>& offsets, std::string* error) {
    const std::size_t n = f.entries.size();
    offsets.assign(n + 1, 0);
    std::uint32_t previous = 0;
    for (std::size_t k = 0; k <= n; ++k) {
        const bool sizefield = k == n;
        offsets[k] = sizefield ? *readdwordle(prefix, kTiTableStart + kTiEntrySize * n) : f.entries[k].offset;
        if (!sizefield && f.entries[k].isfolder()) continue;
        std::string where = sizefield ? std::string("the file-size field") : "entry " + num(k + 1) + "'s data offset";
        if (offsets[k] < datastart)
            return fail(error, where + " (" + num(offsets[k]) + ") points into the header or table");
        if (offsets[k] > f.length)
            return fail(error, where + " (" + num(offsets[k]) + ") lies past the end of the file (" + num(f.length) +
                                   " bytes)");
        if (offsets[k] < previous)
            return fail(error, where + " (" + num(offsets[k]) + ") runs backwards from the one before (" +
                                   num(previous) + ")");
        previous = offsets[k];
    }
    return true;
}

// A type code the model has no variable of was spoilt: sent, it would become a typeless
// variable in place of the one of that name. The codes below 20 are the calculator's own
// variable types, some of them unnamed in our lists; the codes above are named where the
// model has them (the later models' assembly programs and Flash files).
bool knowntypes(const TiFile& f, std::string* error) {
    for (std::size_t k = 0; k < f.entries.size(); ++k) {
        const TiEntry& e = f.entries[k];
        if (e.type < 0x20 || !f.model->typename_of(e.type).empty()) continue;
        char code[8];
        std::snprintf(code, sizeof code, "%02X", e.type);
        return fail(error, "entry " + num(k + 1) + " (" + e.name + ") has the type code " + code + ", which no " +
                               std::string(f.model->name) + " variable has");
    }
    return true;
}

// Each variable's data lies between its offset and the next variable's (or the size field).
bool placevariables(TiFile& f, const std::vector<std::uint32_t>& offsets, std::string* error) {
    const std::size_t n = f.entries.size();
    // Framing around the stored bytes: four zero bytes and the checksum, or only the
    // checksum in the backup layout.
    const std::uint32_t lead = f.backuplayout ? 0 : 4;
    const std::uint32_t framing = f.backuplayout ? 2 : 6;
    const std::uint32_t minimum = framing + (f.backuplayout ? 0 : 2);  // room for the length word
    std::string folder;
    for (std::size_t k = 0; k < n; ++k) {
        TiEntry& e = f.entries[k];
        if (e.isfolder()) {
            folder = e.name;
            continue;
        }
        std::size_t next = k + 1;
        while (next < n && f.entries[next].isfolder()) ++next;
        const std::uint32_t section = offsets[next] - offsets[k];
        if (section < minimum)
            return fail(error, "entry " + num(k + 1) + " (" + e.name + ") has a data section of " + num(section) +
                                   " bytes, too short to hold its data");
        e.folder = folder;
        e.dataposition = offsets[k] + lead;
        e.size = section - framing;
    }
    return true;
}

} // namespace

std::optional<TiFile> parsetiheader(std::span<const std::uint8_t> prefix, std::uint64_t filelength,
                                    std::string* error) {
    if (prefix.size() > filelength) prefix = prefix.first(static_cast<std::size_t>(filelength));
    if (filelength < kTiTableStart) {
        fail(error, "the file is only " + num(filelength) + " bytes long, too short for a TI-92 file");
        return std::nullopt;
    }
    if (prefix.size() < kTiTableStart) {
        fail(error, "the header was not read whole");
        return std::nullopt;
    }
    TiFile f;
    f.length = filelength;
    f.count = prefix[kTiCountOffset];
    f.formatok = prefix[8] == kTiFormatByte;
    if (const CalculatorModel* m = modelbysignature({reinterpret_cast<const char*>(prefix.data()), 8})) f.model = m;
    f.comment = readnamefield(prefix, kTiCommentOffset, kTiCommentSize);
    const std::size_t n = f.count;
    const std::uint64_t datastart = tidatastart(n);
    if (filelength < datastart) {
        fail(error, "the file is " + num(filelength) + " bytes long, shorter than its table of " + num(n) +
                        " entries (" + num(datastart) + " bytes)");
        return std::nullopt;
    }
    if (prefix.size() < datastart) {
        fail(error, "the header and table were not read whole");
        return std::nullopt;
    }
    f.entries.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t at = kTiTableStart + kTiEntrySize * k;
        TiEntry& e = f.entries[k];
        e.offset = *readdwordle(prefix, at);
        e.name = readnamefield(prefix, at + 4);
        e.type = prefix[at + 12];
        e.attribute = prefix[at + 13];
    }
    if (!knowntypes(f, error)) return std::nullopt;
    std::vector<std::uint32_t> offsets;
    if (!readoffsets(f, prefix, datastart, offsets, error)) return std::nullopt;
    f.sizefield = offsets[n];
    f.backuplayout = n == 1 && f.entries[0].type == kBackupType;
    if (!placevariables(f, offsets, error)) return std::nullopt;
    return f;
}

std::optional<TiFile> parsetifile(std::span<const std::uint8_t> bytes, std::string* error) {
    return parsetiheader(bytes, bytes.size(), error);
}

TiFileReader::~TiFileReader() { close(); }

void TiFileReader::close() {
    if (m_fp) std::fclose(m_fp);
    m_fp = nullptr;
}

bool TiFileReader::open(const std::filesystem::path& path, std::string* error) {
    close();
    const std::string name = path.filename().string();
    m_fp = openregular(path, error);
    if (!m_fp) return false;
    struct stat st {};
    if (fstat(fileno(m_fp), &st) != 0) {
        close();
        return fail(error, "Cannot read " + name + ": " + std::strerror(errno));
    }
    const auto length = static_cast<std::uint64_t>(st.st_size);
    std::vector<std::uint8_t> prefix(static_cast<std::size_t>(std::min<std::uint64_t>(length, tidatastart(kTiMaxEntries))));
    if (!read(0, prefix)) {
        close();
        return fail(error, "Cannot read " + name + ": " + std::strerror(errno));
    }
    std::string why;
    auto parsed = parsetiheader(prefix, length, &why);
    if (!parsed) {
        close();
        return fail(error, name + " is not a readable TI-92 file: " + why + ".");
    }
    m_file = std::move(*parsed);
    return true;
}

bool TiFileReader::read(std::uint64_t position, std::span<std::uint8_t> out) {
    if (!m_fp) return false;
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    if (fseeko(m_fp, static_cast<off_t>(position), SEEK_SET) != 0) return false;
    return std::fread(out.data(), 1, out.size(), m_fp) == out.size();
}

bool TiFileReader::readvariable(const TiEntry& entry, std::vector<std::uint8_t>& data) {
    data.resize(entry.size);
    return read(entry.dataposition, data);
}

std::optional<TiFile> readtifile(const std::filesystem::path& path, std::string* error) {
    TiFileReader reader;
    if (!reader.open(path, error)) return std::nullopt;
    return reader.file();
}

// ---- writing ----

std::optional<std::string> tiheader(std::string_view comment, std::span<const TiTableItem> items,
                                    bool backuplayout, std::string* error, std::string_view signature) {
    const std::size_t n = items.size();
    if (n > kTiMaxEntries) {
        fail(error, "A TI-92 file holds at most " + num(kTiMaxEntries) + " entries (folders and variables); this one needs " +
                        num(n));
        return std::nullopt;
    }
    const std::uint32_t framing = backuplayout ? 2 : 6;
    std::uint64_t offset = tidatastart(n);
    std::string out;
    out.reserve(tidatastart(n));
    out += signature;
    out += '\x01';
    out.append(1 + 8, '\0');
    out += padzero(comment.substr(0, kTiCommentSize), kTiCommentSize);
    out.append(6, '\0');
    out += wordbytes(static_cast<std::uint16_t>(n));
    for (const auto& item : items) {
        out += dwordbytes(static_cast<std::uint32_t>(offset));
        out += padzero(std::string_view(item.name).substr(0, kTiNameSize), kTiNameSize);
        out += static_cast<char>(item.folder ? kFolderType : item.type);
        out += static_cast<char>(item.attribute);
        out += wordbytes(item.folder ? item.count : 0);
        if (!item.folder) offset += std::uint64_t(item.size) + framing;
        if (offset > std::numeric_limits<std::uint32_t>::max()) {
            fail(error, "The file would be larger than 4 GB, more than a TI-92 file can describe");
            return std::nullopt;
        }
    }
    out += dwordbytes(static_cast<std::uint32_t>(offset));
    out += '\xA5';
    out += '\x5A';
    return out;
}

TiFileOutput::~TiFileOutput() { abandon(); }

void TiFileOutput::fail(const std::string& what) {
    if (!m_ok) return;
    m_ok = false;
    m_error = what;
}

bool TiFileOutput::create(const std::filesystem::path& dest, std::string* error) {
    abandon();
    m_ok = true;
    m_error.clear();
    if (!m_file.create(dest, error)) return false;
    m_dest = dest;
    m_buffer.resize(kOutputBuffer);
    m_used = 0;
    return true;
}

void TiFileOutput::flush() {
    std::string why;
    if (m_ok && m_used > 0 && !m_file.write(m_buffer.data(), m_used, &why)) fail(why);
    m_used = 0;
}

void TiFileOutput::write(const void* bytes, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (m_ok && count > 0) {
        if (m_used == m_buffer.size()) flush();
        std::size_t take = std::min(count, m_buffer.size() - m_used);
        std::memcpy(m_buffer.data() + m_used, p, take);
        m_used += take;
        p += take;
        count -= take;
    }
}

namespace {
std::uint16_t addbytes(std::uint16_t sum, const std::uint8_t* p, std::size_t count) {
    return checksum16(std::string_view(reinterpret_cast<const char*>(p), count), sum);
}
} // namespace

void TiFileOutput::writesection(std::span<const std::uint8_t> stored, bool backuplayout) {
    static constexpr std::uint8_t zeros[4] = {};
    if (!backuplayout) write(zeros, 4);
    write(stored.data(), stored.size());
    const std::uint16_t sum = addbytes(0, stored.data(), stored.size());
    const std::uint8_t le[2] = {static_cast<std::uint8_t>(sum & 0xFF), static_cast<std::uint8_t>(sum >> 8)};
    write(le, 2);
}

void TiFileOutput::copysection(int infd, std::int64_t position, std::uint32_t count, bool backuplayout) {
    static constexpr std::uint8_t zeros[4] = {};
    if (!backuplayout) write(zeros, 4);
    std::uint16_t sum = 0;
    std::uint32_t left = count;
    // Read straight into the output buffer: one copy of each byte, whatever the size.
    while (m_ok && left > 0) {
        if (m_used == m_buffer.size()) flush();
        if (!m_ok) break;
        std::size_t take = std::min<std::size_t>(left, m_buffer.size() - m_used);
        const ssize_t r = ::pread(infd, m_buffer.data() + m_used, take, position);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            fail(std::string("reading failed: ") + std::strerror(errno));
            break;
        }
        if (r == 0) {
            fail("the data ended " + num(left) + " bytes early");
            break;
        }
        sum = addbytes(sum, m_buffer.data() + m_used, static_cast<std::size_t>(r));
        m_used += static_cast<std::size_t>(r);
        position += r;
        left -= static_cast<std::uint32_t>(r);
    }
    const std::uint8_t le[2] = {static_cast<std::uint8_t>(sum & 0xFF), static_cast<std::uint8_t>(sum >> 8)};
    write(le, 2);
}

bool TiFileOutput::commit(std::string* error) {
    const std::string name = m_dest.filename().string();
    if (m_file.fd() < 0) return ::tessaly::fail(error, "Cannot write " + name + ": the file was not created");
    flush();
    std::string why;
    if (m_ok && !m_file.commit(&why)) fail(why);
    if (!m_ok) {
        why = m_error;
        abandon();
        return ::tessaly::fail(error, "Cannot write " + name + ": " + why + ". No file was saved under that name.");
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    return true;
}

void TiFileOutput::abandon() {
    m_file.abandon();
    m_used = 0;
}

} // namespace tessaly
