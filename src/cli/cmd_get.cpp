#include <cstdio>

#include "cli/cli.h"

namespace tessaly::cli {

int cmd_get(const Options&, const Args&) {
    std::fprintf(stderr, "tessaly92-cli: get is not built yet\n");
    return kUsage;
}

} // namespace tessaly::cli
