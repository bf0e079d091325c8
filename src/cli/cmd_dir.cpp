#include <cstdio>

#include "cli/cli.h"

namespace tessaly::cli {

int cmd_dir(const Options&, const Args&) {
    std::fprintf(stderr, "tessaly92-cli: dir is not built yet\n");
    return kUsage;
}

} // namespace tessaly::cli
