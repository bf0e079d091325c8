#include <cstdio>

#include "cli/cli.h"
#include "transfers/readiness.h"
#include "transfers/session.h"

namespace tessaly::cli {

int cmd_ready(const Options& options, const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tessaly92-cli: ready takes no arguments\n");
        printusage("ready");
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    NullProgress quiet;
    bool ready = false;
    CalculatorVersion version;
    {
        TransferSession session(cl->state(), quiet, TransferSession::Refusal::Quiet, TransferSession::Report::Silent);
        ready = identifycalculator(cl->link(), quiet, version);
    }
    if (ready) {
        std::printf("%.*s\n%s\n", int(kReadyText.size()), kReadyText.data(),
                    calculatorcaption(cl->link(), version).c_str());
        return kOk;
    }
    // An answer other than an acknowledgement leaves the link up, yet the check failed.
    cl->state().linkok = false;
    return finish(cl->state(), &cl->link());
}

} // namespace tessaly::cli
