#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/ticharset.h"
#include "transfers/directory.h"
#include "transfers/session.h"

namespace tessaly::cli {

int cmd_dir(const Options& options, const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tessaly92-cli: dir takes no arguments\n");
        printusage("dir");
        return kUsage;
    }
    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    DirectoryListing listing;
    {
        TransferSession session(cl->state(), progress);
        listing = directorylisting(cl->link(), progress);
    }
    progress.endbar();
    for (const ListRow& row : listing.rows)
        std::printf("%s\t%s\t%s%s\n", terminaltext(tibytes_to_utf8(row.caption)).c_str(),
                    typetext(cl->link().model(), row).c_str(), sizetext(row).c_str(), row.archived ? "\tarchived" : "");
    std::fflush(stdout);
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace tessaly::cli
