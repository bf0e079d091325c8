#include "cli/cli.h"

namespace tessaly::cli {

std::unique_ptr<CliLink> CliLink::open(const Options&, std::string* error) {
    if (error) *error = "not built yet";
    return nullptr;
}

CliLink::~CliLink() = default;

int finish(TransferState& state) { return state.linkok ? kOk : kFailed; }

} // namespace tessaly::cli
