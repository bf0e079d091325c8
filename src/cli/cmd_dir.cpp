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
    for (const ListRow& row : listing.rows) {
        if (isapplicationrow(row)) continue;
        const std::string_view attribute = attributetext(row);
        std::printf("%s\t%s\t%s%s%.*s\n", terminaltext(tibytes_to_utf8(row.caption)).c_str(),
                    typetext(cl->link().model(), row).c_str(), sizetext(row).c_str(), attribute.empty() ? "" : "\t",
                    int(attribute.size()), attribute.data());
    }
    // A folder without variables is there all the same: its name, and no variable in it.
    for (const std::string& folder : listing.emptyfolders())
        std::printf("%s\\\tfolder\t0\n", terminaltext(tibytes_to_utf8(folder)).c_str());
    // The applications after the variables, a group of their own: they live in Flash, in
    // no folder, and go by their bare names (get NAME -o FILE.89k).
    for (const ListRow& row : listing.rows)
        if (isapplicationrow(row))
            std::printf("%s\t%s\t%s\n", terminaltext(row.caption).c_str(), typetext(cl->link().model(), row).c_str(),
                        sizetext(row).c_str());
    std::fflush(stdout);
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace tessaly::cli
