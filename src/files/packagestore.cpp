#include "files/packagestore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/byteorder.h"

namespace tessaly {

namespace {

constexpr std::size_t kDataBuffer = 64 * 1024;
constexpr unsigned kArchivedBit = 0x80;
constexpr unsigned kLockedBit = 0x40;

std::int32_t getint32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return static_cast<std::int32_t>(v);
}

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

} // namespace

std::string encoderecord(const PackageRecord& record) {
    std::string out;
    out.reserve(kPackageRecordSize);
    std::string_view name = std::string_view(record.name).substr(0, kPackageNameSize);
    out += static_cast<char>(name.size());
    out += padzero(name, kPackageNameSize);
    for (std::int32_t v : {record.start, record.end, record.size}) out += dwordbytes(static_cast<std::uint32_t>(v));
    out += static_cast<char>(record.type | (record.archived ? kArchivedBit : 0) | (record.locked ? kLockedBit : 0));
    return out;
}

std::optional<PackageRecord> decoderecord(const std::uint8_t* bytes) {
    if (bytes[0] > kPackageNameSize) return std::nullopt;
    PackageRecord r;
    r.name.assign(reinterpret_cast<const char*>(bytes + 1), bytes[0]);
    r.start = getint32(bytes + 17);
    r.end = getint32(bytes + 21);
    r.size = getint32(bytes + 25);
    r.type = bytes[29] & ~(kArchivedBit | kLockedBit) & 0xFF;
    r.archived = (bytes[29] & kArchivedBit) != 0;
    r.locked = (bytes[29] & kLockedBit) != 0;
    return r;
}

std::filesystem::path packagestorefolder(const std::filesystem::path& earlierfolder) {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    std::filesystem::path folder = base / "tessaly92";
    std::error_code ec;
    const bool created = std::filesystem::create_directories(folder, ec);
    // An earlier tessaly92 kept the store beside the program. What waits there is copied
    // over when the folder is made, and only then, so a store the user has since emptied
    // does not come back. Copied, not moved: the program's folder is rarely the user's to
    // change (it is /usr/bin when installed), and other users may have it to take over too.
    const PackageStore earlier(earlierfolder), store(folder);
    if (created && !earlierfolder.empty() && earlier.holdsvariables()) {
        std::filesystem::copy_file(earlier.datapath(), store.datapath(), ec);
        if (!ec) std::filesystem::copy_file(earlier.indexpath(), store.indexpath(), ec);
        // Half a store would read as damaged: without both files it reads as empty.
        if (ec) {
            std::filesystem::remove(store.indexpath(), ec);
            std::filesystem::remove(store.datapath(), ec);
        }
    }
    return folder;
}

PackageStore::PackageStore(std::filesystem::path folder) : m_folder(std::move(folder)) {}

std::filesystem::path PackageStore::indexpath() const { return m_folder / kPackageIndexName; }
std::filesystem::path PackageStore::datapath() const { return m_folder / kPackageDataName; }

bool PackageStore::holdsvariables() const {
    const auto records = readrecords(nullptr);
    return records && !records->empty();
}

std::optional<std::vector<PackageRecord>> PackageStore::readrecords(std::string* error) const {
    std::FILE* fp = std::fopen(indexpath().c_str(), "rb");
    if (!fp) {
        fail(error, errno == ENOENT ? "The package store is empty: nothing has been received yet (" +
                                          indexpath().string() + " does not exist)."
                                    : "Cannot read the package store " + indexpath().string() + ": " +
                                          std::strerror(errno));
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, fp)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool readerror = std::ferror(fp) != 0;
    std::fclose(fp);
    if (readerror) {
        fail(error, "Cannot read the package store " + indexpath().string() + ".");
        return std::nullopt;
    }
    if (bytes.size() % kPackageRecordSize != 0) {
        fail(error, "The package store is damaged: " + indexpath().string() + " is " + std::to_string(bytes.size()) +
                        " bytes long, not a whole number of records.");
        return std::nullopt;
    }
    std::vector<PackageRecord> records;
    if (bytes.empty()) return records;
    struct stat st {};
    if (::stat(datapath().c_str(), &st) != 0) {
        fail(error, "The package store is damaged: " + datapath().string() + " is missing.");
        return std::nullopt;
    }
    const auto datasize = static_cast<std::int64_t>(st.st_size);
    for (std::size_t at = 0; at < bytes.size(); at += kPackageRecordSize) {
        auto r = decoderecord(bytes.data() + at);
        const std::string which = "record " + std::to_string(at / kPackageRecordSize + 1);
        if (!r) {
            fail(error, "The package store is damaged: " + which + " has a name longer than 16 characters.");
            return std::nullopt;
        }
        if (r->start < 0 || r->size < 0 || std::int64_t(r->start) + r->size > datasize) {
            fail(error, "The package store is damaged: " + which + " (" + r->name + ") lies beyond the end of " +
                            datapath().string() + ".");
            return std::nullopt;
        }
        records.push_back(std::move(*r));
    }
    return records;
}

// ---- writer ----

PackageStoreWriter::PackageStoreWriter(const PackageStore& store) : m_store(store) {}

PackageStoreWriter::~PackageStoreWriter() {
    if (m_index || m_data) close(nullptr);
}

namespace {
constexpr std::string_view kNewSuffix = ".new";
}

std::filesystem::path PackageStoreWriter::indexpath() const {
    return m_fresh ? std::filesystem::path(m_store.indexpath().string() + std::string(kNewSuffix)) : m_store.indexpath();
}

std::filesystem::path PackageStoreWriter::datapath() const {
    return m_fresh ? std::filesystem::path(m_store.datapath().string() + std::string(kNewSuffix)) : m_store.datapath();
}

bool PackageStoreWriter::open(bool first, std::string* error) {
    if (m_index || m_data) close(nullptr);
    m_fresh = first;
    m_records = 0;
    m_ok = true;
    m_error.clear();
    m_buffer.clear();
    m_buffer.reserve(kDataBuffer);
    std::error_code ec;
    std::filesystem::create_directories(m_store.folder(), ec);
    auto openone = [first](const std::filesystem::path& p) {
        std::FILE* fp = first ? nullptr : std::fopen(p.c_str(), "r+b");
        if (!fp) fp = std::fopen(p.c_str(), "w+b");
        if (fp && std::fseek(fp, 0, SEEK_END) != 0) {
            std::fclose(fp);
            fp = nullptr;
        }
        return fp;
    };
    m_index = openone(indexpath());
    m_data = m_index ? openone(datapath()) : nullptr;
    if (!m_index || !m_data) {
        const int err = errno;
        if (m_index) std::fclose(m_index);
        m_index = nullptr;
        m_ok = false;
        m_error = "Cannot write the package store in " + m_store.folder().string() + ": " + std::strerror(err);
        return fail(error, m_error);
    }
    m_flushed = ftello(m_data);
    return true;
}

std::int64_t PackageStoreWriter::dataposition() const {
    return m_flushed + static_cast<std::int64_t>(m_buffer.size());
}

void PackageStoreWriter::writedata(std::uint8_t byte) {
    if (m_buffer.size() == m_buffer.capacity()) flush();
    m_buffer.push_back(byte);
}

void PackageStoreWriter::writedata(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (m_buffer.size() == m_buffer.capacity()) flush();
        std::size_t take = std::min(count, m_buffer.capacity() - m_buffer.size());
        m_buffer.insert(m_buffer.end(), bytes, bytes + take);
        bytes += take;
        count -= take;
    }
}

bool PackageStoreWriter::flush() {
    if (!m_data) {
        m_buffer.clear();
        return false;
    }
    if (!m_buffer.empty()) {
        if (m_ok && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_data) != m_buffer.size()) {
            m_ok = false;
            m_error = "Cannot write the package store " + datapath().string() + ": " + std::strerror(errno);
        }
        m_flushed += static_cast<std::int64_t>(m_buffer.size());
        m_buffer.clear();
    }
    return m_ok;
}

bool PackageStoreWriter::appendrecord(const PackageRecord& record) {
    // The data goes to disk first, so a record never points at bytes that are not there.
    if (!flush() || std::fflush(m_data) != 0) {
        if (m_ok) m_error = "Cannot write the package store " + datapath().string() + ": " + std::strerror(errno);
        m_ok = false;
        return false;
    }
    const std::string bytes = encoderecord(record);
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_index) != bytes.size() || std::fflush(m_index) != 0) {
        m_ok = false;
        m_error = "Cannot write the package store " + indexpath().string() + ": " + std::strerror(errno);
        return false;
    }
    ++m_records;
    return true;
}

bool PackageStoreWriter::dropfrom(std::int64_t position) {
    if (!m_data || position < 0 || position > dataposition()) return false;
    if (position >= m_flushed) {
        m_buffer.resize(static_cast<std::size_t>(position - m_flushed));
        return true;
    }
    m_buffer.clear();
    if (std::fflush(m_data) != 0 || ::ftruncate(fileno(m_data), position) != 0 ||
        fseeko(m_data, position, SEEK_SET) != 0) {
        m_ok = false;
        m_error = "Cannot cut back the package store " + datapath().string() + ": " + std::strerror(errno);
        return false;
    }
    m_flushed = position;
    return true;
}

bool PackageStoreWriter::close(std::string* error) {
    if (m_data) flush();
    auto closeone = [this](std::FILE*& fp, const std::filesystem::path& p) {
        if (fp && std::fclose(fp) != 0 && m_ok) {
            m_ok = false;
            m_error = "Cannot write the package store " + p.string() + ": " + std::strerror(errno);
        }
        fp = nullptr;
    };
    closeone(m_data, datapath());
    closeone(m_index, indexpath());
    if (m_fresh) {
        // The data first: an index never names bytes that are not there.
        std::error_code ec;
        if (m_ok && m_records > 0) {
            std::filesystem::rename(datapath(), m_store.datapath(), ec);
            if (!ec) std::filesystem::rename(indexpath(), m_store.indexpath(), ec);
            if (ec) {
                m_ok = false;
                m_error = "Cannot write the package store in " + m_store.folder().string() + ": " + ec.message();
            }
        }
        std::filesystem::remove(datapath(), ec);
        std::filesystem::remove(indexpath(), ec);
        m_fresh = false;
    }
    if (!m_ok) return fail(error, m_error);
    return true;
}

} // namespace tessaly
