#include <cstdio>

#include "cli/cli.h"

namespace tessaly::cli {

int cmd_info(const Options&, const Args&) {
    std::fprintf(stderr, "tessaly92-cli: info is not built yet\n");
    return kUsage;
}

} // namespace tessaly::cli
