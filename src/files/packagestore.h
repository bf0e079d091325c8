#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// One 30-byte record of the package index file tessaly.~id.
struct PackageRecord {
    std::string name;       // up to 16 characters; "folder\name" or "name"
    std::int32_t start = 0; // position in tessaly.~dt of the variable's first byte
    std::int32_t end = 0;   // just after its last byte
    std::int32_t size = 0;  // S, the variable's bytes
    std::uint8_t type = 0;
    // In a later model's archive, and locked. Kept in the type byte's two top bits, which
    // no type code uses, so the record keeps its size and stores written before read as
    // they were.
    bool archived = false;
    bool locked = false;
};
inline constexpr std::size_t kPackageRecordSize = 30;
inline constexpr std::size_t kPackageNameSize = 16;
inline constexpr std::string_view kPackageIndexName = "tessaly.~id";
inline constexpr std::string_view kPackageDataName = "tessaly.~dt";

// The 30 bytes of a record (name cut to 16 characters), and back. decoderecord gives
// nullopt for a record that cannot be one (a name length above 16).
std::string encoderecord(const PackageRecord& record);
std::optional<PackageRecord> decoderecord(const std::uint8_t* bytes);

// Where the package store lives: $XDG_DATA_HOME/tessaly92 (default
// ~/.local/share/tessaly92), created if need be, never the program's folder. A store an
// earlier tessaly92 left in earlierfolder (the program's folder) is copied there when the
// folder holds none yet.
std::filesystem::path packagestorefolder(const std::filesystem::path& earlierfolder);

// The package store: tessaly.~id and tessaly.~dt in one folder. Received variables,
// a fetched backup or a staged text wait here until they are saved.
class PackageStore {
public:
    explicit PackageStore(std::filesystem::path folder);
    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path indexpath() const;
    std::filesystem::path datapath() const;

    // The records in order. nullopt and a message when the index cannot be read or is
    // damaged (a length that is not a multiple of 30, a record beyond the data file).
    std::optional<std::vector<PackageRecord>> readrecords(std::string* error) const;
    // There is something to save.
    bool holdsvariables() const;

private:
    std::filesystem::path m_folder;
};

// Writes into the package store while a transfer runs: bytes are buffered, records are
// appended only for complete variables, and a variable that is cut off is dropped whole
// (the data file is cut back to where it began), so the store stays consistent.
class PackageStoreWriter {
public:
    explicit PackageStoreWriter(const PackageStore& store);
    ~PackageStoreWriter();
    PackageStoreWriter(const PackageStoreWriter&) = delete;
    PackageStoreWriter& operator=(const PackageStoreWriter&) = delete;

    // first = true starts a new package, else the bytes go at the ends of both files. A new
    // package replaces the store only once a variable has arrived whole: until close()
    // it is written beside the store, so a receive that brings nothing (a failure, a
    // Cancel) leaves the package before it as it was.
    bool open(bool first, std::string* error);
    std::int64_t dataposition() const;       // current end of the data file
    void writedata(std::uint8_t byte);        // buffered; no allocation per byte
    void writedata(const std::uint8_t* bytes, std::size_t count);
    bool appendrecord(const PackageRecord& record);
    // Forgets every data byte from position on (a variable that did not arrive whole).
    bool dropfrom(std::int64_t position);
    bool close(std::string* error);          // flushes; false when a write failed
    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }

private:
    bool flush();
    std::filesystem::path indexpath() const;
    std::filesystem::path datapath() const;
    const PackageStore& m_store;
    bool m_fresh = false;   // a new package, written beside the store
    std::size_t m_records = 0;
    std::FILE* m_index = nullptr;
    std::FILE* m_data = nullptr;
    std::int64_t m_flushed = 0;  // bytes of the data file on disk
    std::vector<std::uint8_t> m_buffer;
    bool m_ok = true;
    std::string m_error;
};

} // namespace tessaly
