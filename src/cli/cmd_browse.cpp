#include <cstdio>
#include <iterator>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/browser.h"
#include "files/fileinfo.h"
#include "files/safefile.h"
#include "files/ticharset.h"

namespace tessaly::cli {

namespace {

constexpr const char* kKindNames[] = {"file", "fargo-library", "fargo-program", "program", "text", "text-variable", "group", "flash"};
static_assert(std::size(kKindNames) == kBrowserIconCount);

int refuse(const std::string& subject, const std::string& why, int code = kUsage) {
    std::fprintf(stderr, "tessaly92-cli: %s: %s\n", terminaltext(subject).c_str(), terminaltext(why).c_str());
    return code;
}

} // namespace

// The file browser's rows: name, kind and description, one tab-separated line each.
int cmd_ls(const Options&, const Args& args) {
    std::string folder = ".";
    bool descriptions = true, textfiles = true, tifiles = true, gotfolder = false;
    for (const std::string& a : args) {
        if (a == "--no-desc") descriptions = false;
        else if (a == "--no-txt") textfiles = false;
        else if (a == "--no-92") tifiles = false;
        else if (!gotfolder && !a.starts_with("--")) {
            folder = a;
            gotfolder = true;
        } else {
            printusage("ls");
            return kUsage;
        }
    }
    std::string why;
    const auto names = listfolder(folder, browsermask(textfiles, tifiles), &why);
    if (!why.empty()) return refuse(folder, why);
    for (const BrowserRow& row : browserrows(folder, names, descriptions)) {
        const bool raw = row.damaged || filekind(row.name) == FileKind::Text || !descriptions;
        const std::string description = raw ? row.description : tibytes_to_utf8(row.description);
        // Without descriptions no file is opened: its kind is what its name says.
        const BrowserIcon icon = descriptions ? row.icon : nameicon(row.name);
        const char* kind = row.othermodel ? "other-model" : row.damaged ? "damaged" : kKindNames[static_cast<int>(icon)];
        std::printf("%s\t%s\t%s\n", terminaltext(row.name).c_str(), kind, terminaltext(description).c_str());
    }
    return kOk;
}

// Shows a TI-92 file's description, or writes a new one as the description editor does.
int cmd_describe(const Options&, const Args& args) {
    if (args.empty() || args.size() > 2) {
        printusage("describe");
        return kUsage;
    }
    const std::string& path = args[0];
    if (filekind(path) != FileKind::TiFile) return refuse(path, "only TI-92 files carry a description");
    std::string why;
    if (!describable(path, &why)) return refuse(path, why + (args.size() == 2 ? "; the file is unchanged" : ""));
    if (args.size() == 1) {
        std::vector<std::uint8_t> head;
        std::uint64_t length = 0;
        if (!readfilehead(path, head, length, &why)) return refuse(path, why);
        std::printf("%s\n", terminaltext(tibytes_to_utf8(readnamefield(head, kTiCommentOffset, kTiCommentSize))).c_str());
        return kOk;
    }
    bool cut = false;
    const auto bytes = utf8_to_tibytes(args[1], kDescriptionLength, &why, &cut);
    if (!bytes) return refuse(path, why);
    switch (writedescription(path, *bytes, &why)) {
    case DescriptionWrite::Written:
        // A file holds no more; the text was not refused for it, but the user hears.
        if (cut) std::fprintf(stderr, "tessaly92-cli: the description is cut to its first %zu characters\n", kDescriptionLength);
        return kOk;
    case DescriptionWrite::Refused: return refuse(path, why + "; the file is unchanged");
    case DescriptionWrite::Failed: break;
    }
    return refuse(path, why + "; the file is unchanged", kFailed);
}

} // namespace tessaly::cli
