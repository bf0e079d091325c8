#include "files/association.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "files/filename.h"
#include "files/flashfile.h"
#include "files/programrun.h"
#include "link/byteorder.h"
#include "link/model.h"
#include "files/safefile.h"

namespace tessaly {

namespace {

constexpr std::uint32_t kToolLimitMs = 30000;  // a hung cache tool must not hold the window forever

bool iscontinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first n characters of a UTF-8 text, never half a character.
std::string firstcharacters(std::string_view text, std::size_t n) {
    std::size_t end = 0;
    for (std::size_t chars = 0; end < text.size() && chars < n; ++chars) {
        ++end;
        while (end < text.size() && iscontinuation(text[end])) ++end;
    }
    return std::string(text.substr(0, end));
}

// Why an extension cannot be a glob of its own; empty when it can.
std::string unregistrable(std::string_view ext) {
    if (ext.empty()) return "an empty extension is not registered (a file name ending in a dot would match it)";
    for (char c : ext) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("*?[]\\/", c))
            return "the extension \"" + std::string(ext) + "\" is not registered: it holds a character a file pattern cannot";
    }
    return {};
}

// The extensions that become globs, without the ones the desktop would match as the same.
std::vector<std::string> registrable(const std::vector<std::string>& extensions, std::vector<std::string>* warnings) {
    std::vector<std::string> out;
    std::vector<std::string> seen;
    for (const std::string& e : extensions) {
        const std::string why = unregistrable(e);
        if (!why.empty()) {
            if (warnings) warnings->push_back(why);
            continue;
        }
        const std::string key = lowstring(e);
        bool dup = false;
        for (const std::string& s : seen) dup = dup || s == key;
        if (dup) continue;
        seen.push_back(key);
        out.push_back(e);
    }
    return out;
}

std::string xmlescaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// A key file's string value: line breaks cannot be written, a backslash is doubled.
std::string keyfilevalue(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

// What a file held before it is replaced; nullopt when there is no such regular file.
std::optional<std::string> readwhole(const std::filesystem::path& path) {
    std::FILE* fp = openregular(path, nullptr);
    if (!fp) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, fp)) > 0;) bytes.append(buffer, n);
    const bool whole = !std::ferror(fp);
    std::fclose(fp);
    if (!whole) return std::nullopt;
    return bytes;
}

bool makefolder(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        *error = "Cannot create the folder " + folder.string() + ": " +
                 (ec ? ec.message() : std::string("a file of that name is in the way"));
        return false;
    }
    return true;
}

} // namespace

ExtensionList parseextensions(std::string_view text) {
    ExtensionList list;
    list.text = std::string(text);
    if (list.text.empty()) return list;  // nothing to take, and nothing to correct
    if (list.text.back() != ';') list.text += ';';
    std::string_view rest = list.text;
    while (!rest.empty() && list.extensions.size() < kMaxExtensions) {
        const std::size_t semi = rest.find(';');
        if (semi == std::string_view::npos) break;
        list.extensions.push_back(firstcharacters(rest.substr(0, semi), kMaxExtensionLength));
        rest.remove_prefix(semi + 1);
    }
    return list;
}

std::string mimetypefor(std::string_view extension) {
    static const char kHex[] = "0123456789abcdef";
    std::string name(kMimeTypePrefix);
    for (char c : lowstring(extension)) {
        const auto u = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
            name += c;
        } else {
            name += '_';
            name += kHex[u >> 4];
            name += kHex[u & 15];
        }
    }
    return name;
}

std::string mimepackage(const std::vector<std::string>& extensions, bool takeover) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Calculator files, which tessaly92 sends to the calculator. -->\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const std::string& e : registrable(extensions, nullptr)) {
        std::string probe = "x.";
        probe += e;
        const FileName named = readfilename(probe);
        const CalculatorModel* m = named.model;
        std::string kind = m ? std::string(m->name) : "TI92-file";
        if (m) {
            kind += ' ';
            kind += named.kind == FileKind::Flash ? flashkindname(named.flashtype) : std::string("file");
        }
        // Weight 60: the list is the user's choice, so it wins over a type another package
        // gives the same extension: associating means taking the extension over.
        xml += "  <mime-type type=\"" + mimetypefor(e) + "\">\n"
               "    <comment>" + kind + " (." + xmlescaped(e) + ")</comment>\n"
               "    <sub-class-of type=\"application/octet-stream\"/>\n"
               "    <icon name=\"tessaly92\"/>\n"
               "    <glob pattern=\"*." + xmlescaped(e) + (takeover ? "\" weight=\"60\"/>\n" : "\"/>\n");
        // A Flash file bears one signature whatever its model.
        const std::string_view signature = named.kind == FileKind::Flash ? kFlashSignature : m ? m->signature : "";
        if (!signature.empty())
            xml += "    <magic><match type=\"string\" offset=\"0\" value=\"" + xmlescaped(signature) + "\"/></magic>\n";
        xml += "  </mime-type>\n";
    }
    xml += "</mime-info>\n";
    return xml;
}

std::string execword(const std::string& program) {
    static const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = false;
    for (char c : program) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return {};
        if (std::strchr(kReserved, c)) quote = true;
    }
    std::string word;
    if (quote) word += '"';
    for (char c : program) {
        if (c == '%') word += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) word += std::string("\\") + c;
        else word += c;
    }
    if (quote) word += '"';
    // The key file unescapes once before the Exec line is split into words.
    return keyfilevalue(word);
}

std::string senddesktopentry(const std::string& program, const std::vector<std::string>& extensions) {
    std::string types;
    for (const std::string& e : registrable(extensions, nullptr)) types += mimetypefor(e) + ";";
    // NoDisplay: it belongs in the file manager's Open With, not in the menus, where the
    // installed tessaly92 entry already is.
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Send to calculator\n"
           "Comment=Send the TI-92 file to the calculator with tessaly92\n"
           "Exec=" + execword(program) + " %f\n"
           "Icon=tessaly92\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "MimeType=" + types + "\n";
}

ToolRun runtool(const std::vector<std::string>& argv) {
    ToolRun result;
    SystemClock clock;
    const RunResult run = runandwait(argv.at(0), {argv.begin() + 1, argv.end()}, clock, kToolLimitMs);
    if (!run.started) {
        result.notfound = run.notfound;
        result.error = argv[0] + " could not be started: " + run.error;
    } else if (!run.finished) {
        result.error = argv[0] + (run.error.empty() ? std::string(" did not finish and was stopped") : ": " + run.error);
    } else if (run.exitcode != 0) {
        result.error = argv[0] + " failed (exit code " + std::to_string(run.exitcode) + ")";
    } else {
        result.ok = true;
    }
    return result;
}

AssociationResult associate(const std::vector<std::string>& extensions, const std::string& program,
                            const std::filesystem::path& datahome, const ToolRunner& run) {
    AssociationResult result;
    const std::vector<std::string> taken = registrable(extensions, &result.warnings);
    if (taken.empty()) {
        result.error = "There is no extension to associate.";
        return result;
    }
    const std::string exec = execword(program);
    if (exec.empty() || program.empty() || program.front() != '/') {
        result.error = "The program's path " + program + " cannot be written in a desktop entry.";
        return result;
    }
    const std::filesystem::path mimefolder = datahome / "mime";
    const std::filesystem::path packages = mimefolder / "packages";
    const std::filesystem::path applications = datahome / "applications";
    if (!makefolder(packages, &result.error) || !makefolder(applications, &result.error)) return result;

    const std::filesystem::path mimefile = packages / kMimePackageName;
    const std::filesystem::path desktopfile = applications / kSendDesktopName;
    const std::optional<std::string> before = readwhole(mimefile);
    std::error_code ec;
    if (!before && std::filesystem::is_regular_file(mimefile, ec)) {
        // It could not be put back after a failed second write.
        result.error = "Cannot read " + mimefile.string() + ", which would be replaced.";
        return result;
    }
    if (!savewhole(mimefile, mimepackage(taken), &result.error)) return result;
    if (!savewhole(desktopfile, senddesktopentry(program, taken), &result.error)) {
        // Types without their action would only confuse the file manager: put the package
        // back as it was.
        std::string ignored;
        if (before) savewhole(mimefile, *before, &ignored);
        else std::filesystem::remove(mimefile);
        return result;
    }
    result.written = {mimefile, desktopfile};
    result.ok = true;

    // The files are in place; the caches only make the desktop see them sooner.
    const std::vector<std::vector<std::string>> tools = {{"update-mime-database", mimefolder.string()},
                                                         {"update-desktop-database", applications.string()}};
    for (const auto& argv : tools) {
        const ToolRun r = run(argv);
        if (r.ok) continue;
        result.warnings.push_back(r.notfound ? argv[0] + " is not installed: the desktop sees the new types after "
                                                         "it refreshes its own caches"
                                             : r.error);
    }
    return result;
}

std::filesystem::path xdgdatahome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return data;
    const char* home = std::getenv("HOME");
    std::string h = home && home[0] ? home : "";
    if (h.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    return std::filesystem::path(h) / ".local" / "share";
}

} // namespace tessaly
