#pragma once
#include "files/safefile.h"
#include "link/model.h"
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The variable file of every model (its signature tells which): header, table of 16-byte entries, file-size field, separator,
// then one data section per variable. Numbers are little-endian.
inline constexpr std::size_t kTiTableStart = 60;
inline constexpr std::size_t kTiEntrySize = 16;
inline constexpr std::size_t kTiCommentOffset = 18;
inline constexpr std::size_t kTiCommentSize = 34;
inline constexpr std::size_t kTiCountOffset = 58;
inline constexpr std::size_t kTiNameSize = 8;
inline constexpr std::size_t kTiMaxEntries = 255;
inline constexpr std::uint8_t kTiFormatByte = 0x01;
inline constexpr std::uint8_t kFolderType = 0x1F;
inline constexpr std::uint8_t kBackupType = 0x1D;
inline constexpr std::string_view kTiSignature = kTI92.signature;

// Where the table of an n-entry file ends and its first data section begins.
constexpr std::size_t tidatastart(std::size_t entries) { return kTiTableStart + kTiEntrySize * entries + 6; }

// Reading primitives on a byte span. Each returns nullopt when the bytes are not all there.
std::optional<std::uint16_t> readwordle(std::span<const std::uint8_t> bytes, std::size_t offset);
std::optional<std::uint16_t> readwordbe(std::span<const std::uint8_t> bytes, std::size_t offset);
std::optional<std::uint32_t> readdwordle(std::span<const std::uint8_t> bytes, std::size_t offset);
// A name field: up to width bytes, ending before the first zero byte.
std::string readnamefield(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width = kTiNameSize);

// An entry's attribute byte for a locked variable (the archived one is the model's).
inline constexpr std::uint8_t kLockedAttribute = 0x01;

struct TiEntry {
    std::string name;            // the name field, up to its first zero byte
    std::uint8_t type = 0;
    // The state file keeps the locked flag here; a later model's file its archived attribute.
    std::uint8_t attribute = 0;
    std::uint32_t offset = 0;    // the data offset field, all 32 bits
    // Variables only (zero for folder entries):
    std::string folder;          // the folder prefix in force, without its backslash
    std::uint32_t dataposition = 0;  // file position of the stored bytes (the length word)
    std::uint32_t size = 0;          // S, the stored bytes: length word and content

    bool isfolder() const { return type == kFolderType; }
    // folder + "\" + name, or the bare name when no folder entry came before.
    std::string fullname() const { return folder.empty() ? name : folder + "\\" + name; }
};

struct TiFile {
    bool formatok = false;          // byte 8 is 0x01
    std::string comment;            // the 34-byte comment field up to its first zero
    std::uint8_t count = 0;         // n, every table entry (folders too)
    std::uint32_t sizefield = 0;    // O(n)
    std::uint64_t length = 0;       // the file's real length
    // One variable entry of type backup: its section carries no four zero bytes.
    bool backuplayout = false;
    std::vector<TiEntry> entries;   // the whole table in order
    // Whom it was made for, by its signature (the TI-92 for a signature none of ours has).
    const CalculatorModel* model = &kTI92;

    std::vector<const TiEntry*> variables() const;
};

// Parses the header and table. prefix holds the file's first bytes (at least the header
// and table), filelength is the file's real length; every offset is checked against it.
// A file shorter than its table, offsets that run backwards or past the end, or a count
// larger than the table held give nullopt and a message. The format byte is only
// reported (formatok): the readers other than the information row do not test it.
std::optional<TiFile> parsetiheader(std::span<const std::uint8_t> prefix, std::uint64_t filelength,
                                    std::string* error);
// The whole file in memory.
std::optional<TiFile> parsetifile(std::span<const std::uint8_t> bytes, std::string* error);

// An open TI-92 file: header and table read and checked, data read on demand, so a
// caller streams a variable's bytes without holding the whole file.
class TiFileReader {
public:
    TiFileReader() = default;
    ~TiFileReader();
    TiFileReader(const TiFileReader&) = delete;
    TiFileReader& operator=(const TiFileReader&) = delete;

    bool open(const std::filesystem::path& path, std::string* error);
    void close();
    const TiFile& file() const { return m_file; }
    // Exactly out.size() bytes at position; false past the end or on a read error.
    bool read(std::uint64_t position, std::span<std::uint8_t> out);
    // A variable's S stored bytes (length word and content).
    bool readvariable(const TiEntry& entry, std::vector<std::uint8_t>& data);

private:
    std::FILE* m_fp = nullptr;
    TiFile m_file;
};

// Opens, parses and closes: what a file holds, without its data.
std::optional<TiFile> readtifile(const std::filesystem::path& path, std::string* error);

// ---- writing ----

// One table entry to write. A folder entry's offset is that of the section after it.
struct TiTableItem {
    bool folder = false;
    std::string name;               // cut to 8 characters
    std::uint8_t type = 0;          // variables; folders are written as 0x1F
    std::uint8_t attribute = 0;
    std::uint32_t size = 0;         // S, variables only
    std::uint16_t count = 0;        // folders: the variables that follow it
};

// Header, table, file-size field and separator for the items, with the data offsets
// laid out in order: sections of S + 6 bytes (S + 2 in the backup layout). nullopt and a
// message when the table would not fit the format (more than 255 entries, a file beyond
// 4 GB).
std::optional<std::string> tiheader(std::string_view comment, std::span<const TiTableItem> items,
                                    bool backuplayout, std::string* error,
                                    std::string_view signature = kTiSignature);

// A variable file being written, as a WholeFile (safefile.h): nothing under the chosen
// name until commit(). Writes go through a fixed buffer.
class TiFileOutput {
public:
    TiFileOutput() = default;
    ~TiFileOutput();
    TiFileOutput(const TiFileOutput&) = delete;
    TiFileOutput& operator=(const TiFileOutput&) = delete;

    bool create(const std::filesystem::path& dest, std::string* error);
    void write(const void* bytes, std::size_t count);
    void write(std::string_view bytes) { write(bytes.data(), bytes.size()); }
    // One data section: four zero bytes unless backup layout, the stored bytes, checksum.
    void writesection(std::span<const std::uint8_t> stored, bool backuplayout);
    // The same, its count stored bytes streamed from the open file infd at position.
    void copysection(int infd, std::int64_t position, std::uint32_t count, bool backuplayout);
    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    // Flushes, closes and renames into place; false (temporary file removed) on failure.
    bool commit(std::string* error);
    // Gives up: the temporary file is removed, the destination untouched.
    void abandon();

private:
    void flush();
    void fail(const std::string& what);
    std::filesystem::path m_dest;
    WholeFile m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    bool m_ok = true;
    std::string m_error;
};

} // namespace tessaly
