#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/fargo.h"
#include "files/fileinfo.h"
#include "files/safefile.h"
#include "files/ticharset.h"

namespace tessaly::cli {

// Prints what the file browser's information row and variable list show for the file.
int cmd_info(const Options&, const Args& args) {
    if (args.size() != 1) {
        printusage("info");
        return kUsage;
    }
    const std::string& path = args[0];
    auto refuse = [&](const std::string& why) {
        std::fprintf(stderr, "tessaly92-cli: %s: %s\n", terminaltext(path).c_str(), terminaltext(why).c_str());
        return kUsage;
    };
    // A file that is not there, or no file at all, has no description to show.
    std::string why;
    std::FILE* fp = openregular(path, &why);
    if (!fp) return refuse(why);
    std::fclose(fp);
    const bool tifile = filekind(path) == FileKind::TiFile;
    const FileInfo info = readfileinfo(path);
    if (!info.othermodel.empty()) {
        refuse(tifileproblem(info));
        return kFailed;
    }
    // Names and comments in a TI-92 file are in the calculator's character set.
    auto shown = [&](const std::string& text) { return terminaltext(tifile ? tibytes_to_utf8(text) : text); };
    // The window's count, the table's entries, with what they are beside it.
    std::string entries = info.entries;
    if (info.folders > 0)
        entries += " (" + std::to_string(info.variables) + (info.variables == 1 ? " variable in " : " variables in ") +
                   std::to_string(info.folders) + (info.folders == 1 ? " folder)" : " folders)");
    std::printf("Number of variables: %s\n", entries.c_str());
    std::printf("Size: %s\n", info.length.c_str());
    if (info.model) std::printf("Calculator: %s\n", filemodels(*info.model, path).c_str());
    std::printf("Description: %s\n", (info.error.empty() ? shown(info.description) : terminaltext(info.description)).c_str());
    if (!info.error.empty()) return refuse(info.error);
    if (info.fargoprogram) std::printf("FARGO program\n");
    for (const auto& row : info.rows) {
        // Padded by characters, so accented names keep the type column in line.
        std::string caption = shown(row.caption);
        std::size_t chars = 0;
        for (unsigned char c : caption) chars += (c & 0xC0) != 0x80;
        if (chars < 17) caption.append(17 - chars, ' ');
        const std::string attribute = row.attribute.empty() ? "" : " (" + std::string(row.attribute) + ")";
        std::printf("%s %s%s\n", caption.c_str(), terminaltext(row.type).c_str(), attribute.c_str());
    }
    return kOk;
}

} // namespace tessaly::cli
