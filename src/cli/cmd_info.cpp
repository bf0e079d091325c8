#include <cstdio>

#include "cli/cli.h"
#include "files/fileinfo.h"

namespace tessaly::cli {

// Prints what the file browser's information row and variable list show for the file.
int cmd_info(const Options&, const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: tessaly92-cli info FILE\n");
        return kUsage;
    }
    const std::string& path = args[0];
    const FileInfo info = readfileinfo(path);
    std::printf("Number of variables: %s\n", info.count.c_str());
    std::printf("Size: %s\n", info.size.c_str());
    std::printf("Description: %s\n", info.description.c_str());
    if (!info.error.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s: %s\n", path.c_str(), info.error.c_str());
        return kUsage;
    }
    if (info.fargoprogram) std::printf("FARGO program\n");
    for (const auto& row : info.rows) std::printf("%-17s %s\n", row.caption.c_str(), row.type.c_str());
    return kOk;
}

} // namespace tessaly::cli
