#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalshell.h"
#include "files/fileinfo.h"
#include "files/safefile.h"

namespace tessaly::cli {

// Prints what the file browser's information row and variable list show for the file.
int cmd_info(const Options&, const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: tessaly92-cli info FILE\n");
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
    const FileInfo info = readfileinfo(path);
    std::printf("Number of variables: %s\n", info.count.c_str());
    std::printf("Size: %s\n", info.size.c_str());
    std::printf("Description: %s\n", terminaltext(info.description).c_str());
    if (!info.error.empty()) return refuse(info.error);
    if (info.fargoprogram) std::printf("FARGO program\n");
    for (const auto& row : info.rows)
        std::printf("%-17s %s\n", terminaltext(row.caption).c_str(), terminaltext(row.type).c_str());
    return kOk;
}

} // namespace tessaly::cli
