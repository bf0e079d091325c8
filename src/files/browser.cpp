#include "files/browser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/fargo.h"
#include "files/fileinfo.h"
#include "files/filename.h"
#include "files/flashfile.h"
#include "files/safefile.h"
#include "files/tifile.h"
#include "link/byteorder.h"

namespace tessaly {

namespace {

constexpr std::size_t kCommentOffset = kTiCommentOffset;
constexpr std::size_t kHeaderBlock = kTiCommentOffset + kDescriptionLength;
// Enough for the comment, the kind byte at 89 and the description position at 100.
constexpr std::size_t kProbeLength = 128;
constexpr std::size_t kFargoDescriptionLimit = 256;
constexpr std::size_t kFargoContentOffset = 88;

bool globmatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || upchar(pattern[p]) == upchar(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A damaged file gets the plain icon whatever its extension: the group, text or program
// icon would promise a file that opens, and the row's description says what is wrong.
BrowserRow damagedrow(BrowserRow row, std::string why) {
    row.description = std::move(why);
    row.icon = BrowserIcon::Plain;
    row.damaged = true;
    return row;
}

// Reads up to size bytes at position; fewer only at the file's end.
std::size_t readat(int fd, void* into, std::size_t size, std::uint64_t position) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, static_cast<char*>(into) + done, size - done, static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void textdescription(int fd, std::uint64_t length, BrowserRow& row) {
    char bytes[kTextPreviewLength];
    const std::size_t got = readat(fd, bytes, sizeof bytes, 0);
    // Control bytes are left out, but a line break becomes one blank: dropped as well, it
    // ran the lines together ("Hello TI-92This is").
    for (std::size_t i = 0; i < got; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c > 30) row.description.push_back(bytes[i]);
        else if ((c == '\n' || c == '\r') && !row.description.empty() && row.description.back() != ' ') row.description += ' ';
    }
    if (length > kTextPreviewLength) row.description += "...";
}

// The text at 88 + D of a FARGO program, up to a 0x00 or 0x81.
std::string fargotextat(int fd, std::size_t position) {
    char bytes[kFargoDescriptionLimit];
    const std::size_t got = readat(fd, bytes, sizeof bytes, position);
    std::string text;
    for (std::size_t i = 0; i < got && bytes[i] != 0x00 && static_cast<unsigned char>(bytes[i]) != 0x81; ++i)
        text.push_back(bytes[i]);
    return text;
}

// Why the header and table do not read whole; empty when they do.
std::string tablefault(int fd, std::uint64_t length, std::size_t entries) {
    std::vector<std::uint8_t> table(static_cast<std::size_t>(std::min<std::uint64_t>(length, tidatastart(entries))));
    if (readat(fd, table.data(), table.size(), 0) < table.size()) return "the table cannot be read";
    std::string why;
    return parsetiheader(table, length, &why) ? std::string() : why;
}

void tidescription(int fd, std::uint64_t length, BrowserRow& row) {
    std::uint8_t head[kProbeLength];
    const std::size_t got = readat(fd, head, sizeof head, 0);
    if (got < std::min<std::uint64_t>(length, kProbeLength)) {
        row = damagedrow(std::move(row), "Cannot read the file");
        return;
    }
    if (const std::string signature = othermodelsignature(std::span(head, got)); !signature.empty()) {
        row = damagedrow(std::move(row), othermodeldescription(signature));
        row.othermodel = true;
        return;
    }
    if (length <= kHeaderBlock) {
        row = damagedrow(std::move(row), std::string(kCorruptedText) + ": only " + std::to_string(length) + " bytes");
        return;
    }
    if (head[8] != kTiFormatByte) {
        row = damagedrow(std::move(row), std::string(kCorruptedText) + ": not a TI-92 file");
        return;
    }
    // A file cut short or with a spoilt table reads as damaged here as everywhere it is
    // opened, not as the group its name promises.
    if (std::string why = tablefault(fd, length, got > kTiCountOffset ? head[kTiCountOffset] : 0); !why.empty()) {
        row = damagedrow(std::move(row), std::string(kCorruptedText) + ": " + why);
        return;
    }
    const char* comment = reinterpret_cast<const char*>(head + kCommentOffset);
    row.description.assign(comment, strnlen(comment, kDescriptionLength));
    if (got <= kFargoKindOffset) return;
    if (head[kFargoKindOffset] == kFargoLibraryKind) {
        row.description = kFargoLibraryText;
        row.icon = BrowserIcon::FargoLibrary;
    } else if (head[kFargoKindOffset] == kFargoProgramKind) {
        row.icon = BrowserIcon::FargoProgram;
        std::string text;
        if (got > kFargoDescriptionWordOffset + 1) {
            const std::size_t d = std::size_t(head[kFargoDescriptionWordOffset]) << 8 | head[kFargoDescriptionWordOffset + 1];
            text = fargotextat(fd, kFargoContentOffset + d);
        }
        row.description = text + std::string(kFargoSuffix);
    }
}

} // namespace

std::string browsermask(bool textfiles, bool tifiles) {
    std::string mask;
    if (textfiles) mask += kTextPattern;
    if (tifiles) mask += kTiPattern;
    return mask;
}

bool maskmatches(std::string_view mask, std::string_view name) {
    while (!mask.empty()) {
        const std::size_t end = mask.find(';');
        const std::string_view pattern = mask.substr(0, end);
        if (!pattern.empty() && globmatch(pattern, name)) return true;
        if (end == std::string_view::npos) break;
        mask.remove_prefix(end + 1);
    }
    return false;
}

std::vector<std::string> listfolder(const std::filesystem::path& folder, std::string_view mask, std::string* error) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        if (error) *error = "Cannot read the folder " + folder.string() + ": " + ec.message();
        return names;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || !maskmatches(mask, name)) continue;
        std::error_code sec;
        if (it->is_regular_file(sec)) names.push_back(std::move(name));
    }
    if (ec && error) *error = "Cannot read the folder " + folder.string() + ": " + ec.message();
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& n : names) keyed.emplace_back(upstring(n), std::move(n));
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t i = 0; i < keyed.size(); ++i) names[i] = std::move(keyed[i].second);
    return names;
}

BrowserIcon nameicon(std::string_view name) {
    const FileName named = readfilename(name);
    if (named.kind == FileKind::Text) return BrowserIcon::Text;
    if (named.kind == FileKind::Flash) return BrowserIcon::Flash;
    switch (named.letter) {
    case 'g': return BrowserIcon::Group;
    case 't': return BrowserIcon::TextVariable;
    case 'p': return BrowserIcon::Program;
    default: return BrowserIcon::Plain;
    }
}

std::optional<BrowserRow> browserrow(const std::filesystem::path& folder, const std::string& name, bool descriptions) {
    const FileName named = readfilename(name);
    if (named.unhandled) return std::nullopt;
    BrowserRow row;
    row.name = name;
    if (!descriptions) {
        row.description = kNotShowingText;
        return row;
    }
    if (named.kind == FileKind::Uue) {
        row.description = kUueText;
        return row;
    }
    // Every model's files by their last letter: .89g is a group as .92g is.
    row.icon = nameicon(name);
    // Opened directly rather than through a stdio stream: the list opens every file of
    // the folder, and this is most of its time. Never blocks: only regular files are read.
    const std::filesystem::path path = folder / name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        std::string why = "Cannot read the file";
        if (std::FILE* fp = openregular(path, &why)) std::fclose(fp);
        return damagedrow(std::move(row), why);
    }
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (named.kind == FileKind::Flash) {
        ::close(fd);
        // Headers only: a system file runs to megabytes.
        std::string why;
        const auto parts = readflashheaders(path, &why);
        if (!parts) return damagedrow(std::move(row), why);
        row.description = flashdescription(*parts, name);
        return row;
    }
    if (named.kind == FileKind::Text) textdescription(fd, length, row);
    else tidescription(fd, length, row);
    ::close(fd);
    return row;
}

std::vector<BrowserRow> browserrows(const std::filesystem::path& folder, const std::vector<std::string>& names,
                                    bool descriptions) {
    std::vector<BrowserRow> rows;
    rows.reserve(names.size());
    for (const std::string& name : names)
        if (auto row = browserrow(folder, name, descriptions)) rows.push_back(std::move(*row));
    return rows;
}

Companions findcompanions(const std::filesystem::path& folder, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string base = name.substr(0, name.find('.'));
    const std::string bmp = base + ".bmp", txt = base + ".txt";
    Companions c;
    std::error_code ec;
    auto regular = [&](const fs::path& p) { return fs::is_regular_file(p, ec); };
    if (regular(folder / bmp)) c.screenshot = folder / bmp;
    if (regular(folder / txt)) c.text = folder / txt;
    if (c.screenshot && c.text) return c;
    const std::string ubmp = upstring(bmp), utxt = upstring(txt);
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (candidate.size() != bmp.size()) continue;
        const std::string u = upstring(candidate);
        if (!c.screenshot && u == ubmp && regular(it->path())) c.screenshot = it->path();
        if (!c.text && u == utxt && regular(it->path())) c.text = it->path();
    }
    return c;
}

VariableSelection variableselection(const std::vector<std::string>& selectedtypes) {
    VariableSelection s;
    s.selenabled = !selectedtypes.empty();
    s.forceall = !s.selenabled;
    s.viewtext = selectedtypes.size() == 1 && selectedtypes.front() == "text";
    return s;
}

bool describable(const std::filesystem::path& path, std::string* why) {
    std::vector<std::uint8_t> head;
    std::uint64_t length = 0;
    if (!readfilehead(path, head, length, why)) return false;
    const std::string problem = tifileproblem(tifileinfo(head, length));
    if (why) *why = problem;
    return problem.empty();
}

DescriptionWrite writedescription(const std::filesystem::path& path, std::string_view description, std::string* error) {
    std::FILE* fp = openregular(path, error);
    if (!fp) return DescriptionWrite::Failed;
    std::string bytes;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, fp)) > 0;) bytes.append(buffer, got);
    const bool failed = std::ferror(fp) != 0;
    std::fclose(fp);
    if (failed) {
        if (error) *error = "Cannot read " + path.filename().string();
        return DescriptionWrite::Failed;
    }
    // Checked on the bytes about to be written back, not on an earlier look at the file.
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::string problem = tifileproblem(tifileinfo(std::span(data, bytes.size()), bytes.size()));
    if (!problem.empty()) {
        if (error) *error = problem;
        return DescriptionWrite::Refused;
    }
    std::string field(kDescriptionLength, '\0');
    field.replace(0, std::min(description.size(), kDescriptionLength), description.substr(0, kDescriptionLength));
    bytes.replace(kCommentOffset, kDescriptionLength, field);
    return savewhole(path, bytes, error) ? DescriptionWrite::Written : DescriptionWrite::Failed;
}

} // namespace tessaly
