#include "files/flashfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>

#include "files/safefile.h"

namespace tessaly {
namespace {

// Offsets within a part's header.
constexpr std::size_t kRevisionAt = 0x08;
constexpr std::size_t kFlagsAt = 0x0A;
constexpr std::size_t kObjectTypeAt = 0x0B;
constexpr std::size_t kDateAt = 0x0C;
constexpr std::size_t kNameLengthAt = 0x10;
constexpr std::size_t kNameAt = 0x11;
constexpr std::size_t kNameSize = 8;
constexpr std::size_t kDeviceAt = 0x30;
constexpr std::size_t kDataTypeAt = 0x31;
constexpr std::size_t kHardwareAt = 0x49;
constexpr std::size_t kLengthAt = 0x4A;

// Systems run to a few megabytes; a file far beyond that is not one, and reading it whole
// would only exhaust memory.
constexpr std::uintmax_t kMaxFlashFile = 16u * 1024 * 1024;

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

std::string hexbyte(unsigned v) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    s += digits[(v >> 4) & 0xF];
    s += digits[v & 0xF];
    return s;
}

// Lenient on a nibble above 9: a wrong date must not make the file unreadable.
unsigned frombcd(std::uint8_t b) { return (b >> 4) * 10u + (b & 0xFu); }
std::uint8_t tobcd(unsigned v) {
    v %= 100;
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

bool knowndatatype(std::uint8_t t) {
    return t == kFlashOs || t == kFlashApplication || t == kFlashCertificate || t == kFlashLicence;
}

std::string partlabel(std::size_t index, std::uint8_t datatype) {
    std::string s = "part ";
    s += std::to_string(index);
    if (knowndatatype(datatype)) {
        s += " (";
        s += flashkindname(datatype);
        s += ")";
    }
    return s;
}

} // namespace

const FlashPart* FlashFile::payload() const {
    for (const FlashPart& p : parts)
        if (p.sent()) return &p;
    return nullptr;
}

bool isflashfile(std::span<const std::uint8_t> prefix) {
    return prefix.size() >= kFlashSignature.size() &&
           std::equal(kFlashSignature.begin(), kFlashSignature.end(), prefix.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

namespace {

// Reads up to size bytes at a position of the file into a buffer; fewer only at its end.
using ReadAt = std::function<std::size_t(std::uint64_t position, std::uint8_t* into, std::size_t size)>;

bool signedat(const ReadAt& read, std::uint64_t position) {
    std::uint8_t probe[kFlashSignature.size()];
    const std::size_t got = read(position, probe, sizeof probe);
    return isflashfile(std::span(probe, got));
}

// Every part's header, and its data where withdata asks for it, with the checks both the
// whole-file reader and a list that must not read megabytes per row rely on.
std::optional<std::vector<FlashPartHeader>> walkparts(const ReadAt& read, std::uint64_t length, bool withdata,
                                                      std::string* error) {
    if (!signedat(read, 0)) {
        fail(error, "it does not begin with a Flash file's signature");
        return std::nullopt;
    }
    std::vector<FlashPartHeader> parts;
    std::uint64_t at = 0;
    // Whatever follows the last part (a checksum some writers add) is not a part.
    while (at < length && signedat(read, at)) {
        const std::size_t index = parts.size() + 1;
        std::uint8_t h[kFlashHeaderSize] = {};
        const std::size_t got = read(at, h, sizeof h);
        const std::uint8_t datatype = got > kDataTypeAt ? h[kDataTypeAt] : 0;
        if (got < kFlashHeaderSize) {
            fail(error, partlabel(index, datatype) + ": its header is cut short by the end of the file");
            return std::nullopt;
        }
        const std::uint32_t size = static_cast<std::uint32_t>(h[kLengthAt]) |
                                   (static_cast<std::uint32_t>(h[kLengthAt + 1]) << 8) |
                                   (static_cast<std::uint32_t>(h[kLengthAt + 2]) << 16) |
                                   (static_cast<std::uint32_t>(h[kLengthAt + 3]) << 24);
        const std::uint64_t available = length - at - kFlashHeaderSize;
        if (size > available) {
            fail(error, partlabel(index, datatype) + ": it is longer than the file (" + std::to_string(size) +
                            " bytes of data, " + std::to_string(available) + " left)");
            return std::nullopt;
        }
        if (!knowndatatype(datatype)) {
            fail(error, partlabel(index, datatype) + ": unknown data type " + hexbyte(datatype));
            return std::nullopt;
        }
        FlashPartHeader entry;
        FlashPart& part = entry.part;
        part.devicetype = h[kDeviceAt];
        part.hardwareid = h[kHardwareAt];
        if (flashmodels(part.devicetype, 0).empty()) {
            fail(error, partlabel(index, datatype) + ": device type " + hexbyte(part.devicetype) + " is no calculator's");
            return std::nullopt;
        }
        part.datatype = datatype;
        part.revisionmajor = static_cast<std::uint8_t>(frombcd(h[kRevisionAt]));
        part.revisionminor = static_cast<std::uint8_t>(frombcd(h[kRevisionAt + 1]));
        part.flags = h[kFlagsAt];
        part.objecttype = h[kObjectTypeAt];
        part.day = static_cast<std::uint8_t>(frombcd(h[kDateAt]));
        part.month = static_cast<std::uint8_t>(frombcd(h[kDateAt + 1]));
        part.year = static_cast<std::uint16_t>(frombcd(h[kDateAt + 2]) * 100 + frombcd(h[kDateAt + 3]));
        const std::size_t namelength = std::min<std::size_t>(h[kNameLengthAt], kNameSize);
        for (std::size_t i = 0; i < namelength && h[kNameAt + i] != 0; ++i) part.name.push_back(static_cast<char>(h[kNameAt + i]));
        entry.datasize = size;
        entry.dataoffset = at + kFlashHeaderSize;
        if (withdata) {
            part.data.resize(size);
            if (read(entry.dataoffset, part.data.data(), size) < size) {
                fail(error, partlabel(index, datatype) + ": its data cannot be read");
                return std::nullopt;
            }
        }
        at = entry.dataoffset + size;
        parts.push_back(std::move(entry));
    }
    return parts;
}

ReadAt spanreader(std::span<const std::uint8_t> bytes) {
    return [bytes](std::uint64_t position, std::uint8_t* into, std::size_t size) -> std::size_t {
        if (position >= bytes.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(size, bytes.size() - position);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), n, into);
        return n;
    };
}

} // namespace

std::optional<FlashFile> parseflashfile(std::span<const std::uint8_t> bytes, std::string* error) {
    auto parts = walkparts(spanreader(bytes), bytes.size(), true, error);
    if (!parts) return std::nullopt;
    FlashFile file;
    for (FlashPartHeader& p : *parts) file.parts.push_back(std::move(p.part));
    return file;
}

std::optional<std::vector<FlashPartHeader>> readflashheaders(const std::filesystem::path& path, std::string* error) {
    const std::string name = path.filename().string();
    std::FILE* fp = openregular(path, error);
    if (!fp) return std::nullopt;
    const int fd = ::fileno(fp);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        std::fclose(fp);
        fail(error, std::string("Cannot read ") + name + ".");
        return std::nullopt;
    }
    const ReadAt read = [fd](std::uint64_t position, std::uint8_t* into, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(fd, into + done, size - done, static_cast<off_t>(position + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    };
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (!signedat(read, 0)) {
        std::fclose(fp);
        fail(error, name + " is not a Flash file.");
        return std::nullopt;
    }
    std::string why;
    auto parts = walkparts(read, length, false, &why);
    std::fclose(fp);
    if (!parts) fail(error, name + " is damaged: " + why + ".");
    return parts;
}

std::optional<FlashFile> readflashfile(const std::filesystem::path& path, std::string* error) {
    const std::string name = path.filename().string();
    std::FILE* fp = openregular(path, error);
    if (!fp) return std::nullopt;
    struct stat st {};
    if (::fstat(::fileno(fp), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > kMaxFlashFile) {
        std::fclose(fp);
        fail(error, name + " is too large for a Flash file (" + std::to_string(st.st_size) + " bytes).");
        return std::nullopt;
    }
    // Sized at once: grown chunk by chunk, a system's bytes would be copied as they double,
    // and the file plus its parts must stay within twice its size.
    std::string raw;
    if (st.st_size > 0) raw.reserve(static_cast<std::size_t>(st.st_size));
    if (!readandclose(fp, raw)) {
        fail(error, std::string("Cannot read ") + name + ".");
        return std::nullopt;
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    if (!isflashfile(bytes)) {
        fail(error, name + " is not a Flash file.");
        return std::nullopt;
    }
    std::string why;
    auto file = parseflashfile(bytes, &why);
    if (!file) fail(error, name + " is damaged: " + why + ".");
    return file;
}

std::vector<std::uint8_t> flashbytes(const FlashFile& file) {
    std::vector<std::uint8_t> out;
    for (const FlashPart& p : file.parts) {
        const std::size_t start = out.size();
        out.resize(start + kFlashHeaderSize, 0);
        std::uint8_t* h = out.data() + start;
        std::copy(kFlashSignature.begin(), kFlashSignature.end(), h);
        h[kRevisionAt] = tobcd(p.revisionmajor);
        h[kRevisionAt + 1] = tobcd(p.revisionminor);
        h[kFlagsAt] = p.flags;
        h[kObjectTypeAt] = p.objecttype;
        h[kDateAt] = tobcd(p.day);
        h[kDateAt + 1] = tobcd(p.month);
        h[kDateAt + 2] = tobcd(p.year / 100u);
        h[kDateAt + 3] = tobcd(p.year % 100u);
        const std::size_t namelength = std::min(p.name.size(), kNameSize);
        h[kNameLengthAt] = static_cast<std::uint8_t>(namelength);
        std::copy_n(p.name.begin(), namelength, h + kNameAt);
        h[kDeviceAt] = p.devicetype;
        h[kDataTypeAt] = p.datatype;
        h[kHardwareAt] = p.hardwareid;
        const auto length = static_cast<std::uint32_t>(p.data.size());
        for (int i = 0; i < 4; ++i) h[kLengthAt + i] = static_cast<std::uint8_t>(length >> (8 * i));
        for (std::uint8_t b : p.data) out.push_back(b);
    }
    return out;
}

bool writeflashfile(const std::filesystem::path& path, const FlashFile& file, std::string* error) {
    const std::vector<std::uint8_t> bytes = flashbytes(file);
    return savewhole(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

std::vector<const CalculatorModel*> flashmodels(std::uint8_t devicetype, std::uint8_t hardwareid) {
    std::vector<const CalculatorModel*> fit;
    if (devicetype == 0) return fit;
    for (const CalculatorModel* m : allmodels())
        if (m->flashdevice == devicetype && (hardwareid == 0 || m->hardwareid == hardwareid)) fit.push_back(m);
    return fit;
}

std::string flashmodelnames(std::uint8_t devicetype, std::uint8_t hardwareid) {
    const auto models = flashmodels(devicetype, hardwareid);
    std::string names;
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (i > 0) names += i + 1 == models.size() ? " or " : ", ";
        names += models[i]->name;
    }
    return names;
}

std::string flashmismatch(const FlashFile& file, const CalculatorModel& model) {
    if (model.flashdevice == 0) {
        std::string s = "The ";
        s += model.name;
        s += " takes no Flash files.";
        return s;
    }
    if (!file.payload()) return "This file holds nothing to send to a calculator: only licences.";
    for (const FlashPart& p : file.parts) {
        if (!p.sent()) continue;
        if (p.devicetype == model.flashdevice && (p.hardwareid == 0 || p.hardwareid == model.hardwareid)) continue;
        std::string s = "This ";
        s += flashkindname(p.datatype);
        s += " is for the ";
        const std::string names = flashmodelnames(p.devicetype, p.hardwareid);
        s += names.empty() ? std::string("device type ") + hexbyte(p.devicetype) : names;
        s += ", not the ";
        s += model.name;
        s += ".";
        return s;
    }
    return {};
}

std::string flashkindname(std::uint8_t datatype) {
    switch (datatype) {
        case kFlashOs: return "operating system";
        case kFlashApplication: return "application";
        case kFlashCertificate: return "certificate";
        case kFlashLicence: return "licence";
        default: return std::string("part type ") + hexbyte(datatype);
    }
}

std::optional<FlashField> readflashfield(std::span<const std::uint8_t> data, std::size_t position) {
    if (position > data.size() || data.size() - position < 2) return std::nullopt;
    FlashField f;
    f.id = static_cast<std::uint16_t>((data[position] << 8) | data[position + 1]);
    const unsigned nibble = f.id & 0xF;
    std::size_t sizebytes = 0;
    if (nibble == 0xD) sizebytes = 1;
    else if (nibble == 0xE) sizebytes = 2;
    else if (nibble == 0xF) sizebytes = 4;
    const std::size_t after = data.size() - position - 2;
    if (after < sizebytes) return std::nullopt;
    std::size_t size = sizebytes == 0 ? nibble : 0;
    for (std::size_t i = 0; i < sizebytes; ++i) size = (size << 8) | data[position + 2 + i];
    if (after - sizebytes < size) return std::nullopt;
    f.offset = position + 2 + sizebytes;
    f.size = size;
    return f;
}

std::optional<std::array<std::uint8_t, 2>> flashosversion(std::span<const std::uint8_t> data) {
    const auto header = readflashfield(data, 0);
    if (!header || (header->id & 0xFFF0) != 0x8000) return std::nullopt;
    const std::size_t end = header->offset + header->size;
    for (std::size_t at = header->offset; at < end;) {
        const auto f = readflashfield(data.first(end), at);
        if (!f) break;
        if ((f->id & 0xFFF0) == 0x8020 && f->size >= 2) return std::array<std::uint8_t, 2>{data[f->offset], data[f->offset + 1]};
        at = f->offset + f->size;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> flashfield(std::uint16_t id, std::span<const std::uint8_t> content) {
    const std::size_t n = content.size();
    // The narrowest size that holds the content, or a wider one the ID already asks for: a
    // system's image begins with 800F whatever the size of its header.
    const unsigned asked = id & 0xF;
    const unsigned askedbytes = asked == 0xD ? 1 : asked == 0xE ? 2 : asked == 0xF ? 4 : 0;
    unsigned sizebytes = n <= 0xC ? 0 : n <= 0xFF ? 1 : n <= 0xFFFF ? 2 : 4;
    sizebytes = std::max(sizebytes, askedbytes);
    const unsigned nibble = sizebytes == 0 ? static_cast<unsigned>(n) : sizebytes == 1 ? 0xD : sizebytes == 2 ? 0xE : 0xF;
    const auto full = static_cast<std::uint16_t>((id & 0xFFF0) | nibble);
    std::vector<std::uint8_t> out;
    out.reserve(2 + sizebytes + n);
    out.push_back(static_cast<std::uint8_t>(full >> 8));
    out.push_back(static_cast<std::uint8_t>(full & 0xFF));
    for (unsigned i = sizebytes; i > 0; --i) out.push_back(static_cast<std::uint8_t>(n >> (8 * (i - 1))));
    for (std::uint8_t b : content) out.push_back(b);
    return out;
}

FlashPart receivedflashpart(const CalculatorModel& model, std::uint8_t datatype, std::string name,
                            std::vector<std::uint8_t> data) {
    FlashPart part;
    part.name = std::move(name);
    part.devicetype = model.flashdevice;
    part.datatype = datatype;
    part.data = std::move(data);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) {
        part.day = static_cast<std::uint8_t>(local.tm_mday);
        part.month = static_cast<std::uint8_t>(local.tm_mon + 1);
        part.year = static_cast<std::uint16_t>(local.tm_year + 1900);
    }
    return part;
}

} // namespace tessaly
