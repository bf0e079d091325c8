#include "files/titext.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "files/safefile.h"
#include "files/ticharset.h"
#include "files/tifile.h"

namespace tessaly {

namespace {

constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kFirstKept = 31;  // bytes below this are no characters of a text
constexpr std::size_t kGaugeSteps = 50;  // about every 2 %

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

bool iscontrol(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

} // namespace

std::string textvariablename(std::string_view filename) {
    const std::string_view base = filename.substr(0, filename.find('.'));
    // Cut by characters, not bytes, so a name never ends in half a letter.
    std::size_t at = 0;
    for (int chars = 0; at < base.size() && chars < 8; ++chars)
        if (!nextcodepoint(base, at)) ++at;
    return std::string(base.substr(0, at));
}

std::string textcontent(std::string_view tibytes) {
    std::string out;
    out.reserve(tibytes.size() + 5);
    out += '\x00';
    out += '\x01';
    out += static_cast<char>(kLineCommand);
    for (char ch : tibytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (b >= kFirstKept) {
            out += ch;
        } else if (b == kCarriageReturn) {
            out += ch;
            out += static_cast<char>(kLineCommand);
        }
    }
    out += '\x00';
    out += static_cast<char>(kTextEndMark);
    return out;
}

std::vector<std::string> textlines(std::span<const std::uint8_t> stored) {
    std::vector<std::string> lines;
    std::string line;
    // Length word and lead-in skipped, the end mark left out.
    const std::size_t count = stored.size() >= 6 ? stored.size() - 5 : 0;
    for (std::size_t i = 4; i < 4 + count && i < stored.size(); ++i) {
        const std::uint8_t b = stored[i];
        if (b == kCarriageReturn) {
            lines.push_back(std::move(line));
            line.clear();
        } else if (b >= kFirstKept) {
            line += static_cast<char>(b);
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

std::string_view linetext(std::string_view line) {
    if (!line.empty() && static_cast<std::uint8_t>(line.front()) == kLineCommand) line.remove_prefix(1);
    return line;
}

namespace {

// UTF-16 as editors on Windows save "Unicode" text, told by its byte-order mark.
std::string utf16toutf8(std::string_view text, bool bigendian) {
    std::string out;
    out.reserve(text.size());
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<std::uint8_t>(text[i]), b = static_cast<std::uint8_t>(text[i + 1]);
        return static_cast<char32_t>(bigendian ? (a << 8 | b) : (b << 8 | a));
    };
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < text.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendutf8(out, c);
    }
    return out;
}

} // namespace

std::string decodetext(std::string_view text) {
    // A byte-order mark is no character of the text.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        return utf16toutf8(text, text[0] == '\xFE');
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (isutf8(text)) return std::string(text);
    // Latin-1; its control range 0x80-0x9F holds the calculator's own Greek letters and
    // signs, kept for text files written by earlier versions, which copied bytes as they were.
    std::string decoded;
    decoded.reserve(text.size() * 2);
    for (char ch : text) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (b >= 0x80 && b < 0xA0) decoded += tibytes_to_utf8(std::string_view(&ch, 1));
        else appendutf8(decoded, b);
    }
    return decoded;
}

std::optional<std::string> texttotibytes(std::string_view source, std::string* error) {
    const std::string decoded = decodetext(source);
    const std::string_view text = decoded;
    std::string out;
    out.reserve(text.size());
    std::size_t line = 1;
    std::size_t runstart = 0;
    auto flush = [&](std::size_t runend) {
        if (runend == runstart) return true;
        std::string why;
        const auto bytes = utf8_to_tibytes(text.substr(runstart, runend - runstart), runend - runstart, &why);
        if (bytes) {
            for (char b : *bytes) {
                if (static_cast<std::uint8_t>(b) < kFirstKept) {
                    why = "The character " + tibytes_to_utf8(std::string_view(&b, 1)) + " cannot stand in a TI-92 text";
                    break;
                }
            }
            if (why.empty()) {
                out += *bytes;
                return true;
            }
        }
        return fail(error, why + " (line " + std::to_string(line) + ").");
    };
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t here = at;
        const char32_t c = *nextcodepoint(text, at);
        if (!iscontrol(c)) continue;
        // No text holds a NUL byte: a file with one is a TI-92 file, a picture or the like,
        // whose bytes would make a text variable of garbage.
        if (c == 0) {
            fail(error, text.starts_with(kTiSignature) ? "It is a TI-92 file, not a text."
                                                       : "It holds a NUL byte (line " + std::to_string(line) +
                                                             "), which no text holds: it is not a text file.");
            return std::nullopt;
        }
        if (!flush(here)) return std::nullopt;
        runstart = at;
        // A text variable holds every byte from 31 on as the calculator's character: a
        // raw 1F is its element sign and a raw 7F its diamond, copied as they stand, as
        // the Latin-1 bytes 80-9F are. Only the bytes below 31 are no characters.
        if (c == kFirstKept || c == 0x7F) out += static_cast<char>(c);
        if (c == '\r' || c == '\n') {
            out += static_cast<char>(kCarriageReturn);
            ++line;
            if (c == '\r' && at < text.size() && text[at] == '\n') runstart = ++at;
        }
    }
    if (!flush(text.size())) return std::nullopt;
    return out;
}

std::string linestoutf8(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += tibytes_to_utf8(line);
        out += '\n';
    }
    return out;
}

bool textfits(std::string_view tibytes, std::string* error) {
    std::size_t size = 5;  // lead-in, first command byte, end
    for (char ch : tibytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        size += b >= kFirstKept ? 1 : b == kCarriageReturn ? 2 : 0;
    }
    if (size <= kMaxTextContent) return true;
    return fail(error, "The text is too long for a TI-92 text variable: " + std::to_string(size) + " bytes, at most " +
                           std::to_string(kMaxTextContent) + ".");
}

bool stagetext(const PackageStore& store, std::string_view name, std::string_view tibytes, Progress& progress,
               std::string* error) {
    // ".txt" or ".notes.txt": the calculator has no variable without a name.
    if (name.empty()) return fail(error, kNoVariableName.data());
    if (!textfits(tibytes, error)) return false;
    const std::string content = textcontent(tibytes);
    PackageStoreWriter writer(store);
    if (!writer.open(true, error)) return false;
    const std::uint8_t head[6] = {0, 0, 0, 0, static_cast<std::uint8_t>(content.size() >> 8),
                                  static_cast<std::uint8_t>(content.size() & 0xFF)};
    writer.writedata(head, sizeof head);
    const int total = static_cast<int>(tibytes.size());
    progress.setgaugemax(total);
    progress.setgaugeposition(0);
    const std::size_t step = std::max<std::size_t>(content.size() / kGaugeSteps, 1);
    for (std::size_t at = 0; at < content.size(); at += step) {
        const std::size_t take = std::min(step, content.size() - at);
        writer.writedata(reinterpret_cast<const std::uint8_t*>(content.data()) + at, take);
        progress.setgaugeposition(static_cast<int>(std::min<std::size_t>(at + take, tibytes.size())));
    }
    PackageRecord record;
    record.name = std::string(name);
    record.start = 4;
    record.end = static_cast<std::int32_t>(writer.dataposition());
    record.size = static_cast<std::int32_t>(content.size() + 2);
    record.type = kTextType;
    writer.appendrecord(record);
    return writer.close(error);
}

std::optional<std::string> readtextfile(const std::filesystem::path& path, std::string* error,
                                        std::uintmax_t limit) {
    std::FILE* fp = openregular(path, error);
    if (!fp) return std::nullopt;
    struct stat st {};
    if (::fstat(::fileno(fp), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > limit) {
        std::fclose(fp);
        fail(error, "The text is too long for a TI-92 text variable: the file holds " + std::to_string(st.st_size) +
                        " bytes.");
        return std::nullopt;
    }
    std::string bytes;
    if (!readandclose(fp, bytes)) {
        fail(error, "Cannot read " + path.filename().string() + ".");
        return std::nullopt;
    }
    return bytes;
}

std::optional<TextView> extracttexts(const std::filesystem::path& path, const std::function<bool(std::size_t)>& chosen,
                                     std::string* error) {
    TiFileReader reader;
    std::string why;
    if (!reader.open(path, &why)) {
        // The reader's reason may name the file itself.
        const std::string name = path.filename().string();
        fail(error, why.find(name) != std::string::npos ? why : "Cannot read " + name + ": " + why);
        return std::nullopt;
    }
    TextView view;
    std::size_t k = 0;
    std::vector<std::uint8_t> data;
    for (const TiEntry& entry : reader.file().entries) {
        if (entry.isfolder()) continue;
        const bool take = chosen ? chosen(k) : entry.type == kTextType;
        ++k;
        if (!take) continue;
        view.label = entry.fullname() + " (" + std::to_string(entry.size) + ")";
        if (entry.type != kTextType) continue;
        if (!reader.readvariable(entry, data)) {
            fail(error, "Cannot read " + path.filename().string() + ": the file is damaged (the text " +
                            tibytes_to_utf8(entry.fullname()) + " is cut off).");
            return std::nullopt;
        }
        const auto lines = textlines(data);
        view.lines.insert(view.lines.end(), lines.begin(), lines.end());
        ++view.texts;
    }
    return view;
}

std::optional<TextView> packagetext(const PackageStore& store, std::size_t row, std::string* error) {
    const auto records = store.readrecords(error);
    if (!records) return std::nullopt;
    TextView view;
    if (row >= records->size() || (*records)[row].type != kTextType) return view;
    const PackageRecord& r = (*records)[row];
    std::FILE* fp = openregular(store.datapath(), error);
    if (!fp) return std::nullopt;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(r.size));
    const bool ok = std::fseek(fp, r.start, SEEK_SET) == 0 && std::fread(data.data(), 1, data.size(), fp) == data.size();
    std::fclose(fp);
    if (!ok) {
        fail(error, "Cannot read the package store " + store.datapath().string() + ".");
        return std::nullopt;
    }
    view.label = r.name + " (" + std::to_string(r.size) + ")";
    view.lines = textlines(data);
    view.texts = 1;
    return view;
}

} // namespace tessaly
