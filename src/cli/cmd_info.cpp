#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/fargo.h"
#include "files/fileinfo.h"
#include "files/safefile.h"
#include "files/ticharset.h"

namespace tessaly::cli {

namespace {

// Every part of a Flash file, the licences too: they say whom the file is for.
void printflash(const FileInfo& info) {
    std::printf("Parts: %zu\n", info.flashparts.size());
    std::printf("Size: %s\n", info.length.c_str());
    std::printf("Description: %s\n", terminaltext(tibytes_to_utf8(info.description)).c_str());
    std::size_t index = 0;
    for (const FlashPartHeader& header : info.flashparts) {
        const FlashPart& p = header.part;
        std::printf("Part %zu: %s%s\n", ++index, flashkindname(p.datatype).c_str(), p.sent() ? "" : " (stays on the computer)");
        if (!p.name.empty()) std::printf("  Name: %s\n", terminaltext(tibytes_to_utf8(p.name)).c_str());
        std::printf("  Version: %u.%02u\n", p.revisionmajor, p.revisionminor);
        std::printf("  Date: %04u-%02u-%02u\n", p.year, p.month, p.day);
        std::printf("  Calculator: %s\n", flashpartmodels(p).c_str());
        std::printf("  Size: %llu bytes\n", static_cast<unsigned long long>(header.datasize));
    }
}

} // namespace

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
    if (filekind(path) == FileKind::Flash) {
        if (!info.flashfile) {
            // The reason names the file already.
            std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(info.error).c_str());
            return kUsage;
        }
        printflash(info);
        return kOk;
    }
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
