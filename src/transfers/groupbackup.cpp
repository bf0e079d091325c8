#include "transfers/groupbackup.h"

#include "files/packagewriter.h"
#include "link/packets.h"
#include "transfers/directory.h"
#include "transfers/receive.h"

namespace tessaly {

bool backsupimage(Link& link) {
    if (!link.modelknown() && !link.chosenmodel()) {
        sendready(link);
        if (!expectack(link)) return false;
    }
    return link.model().imagebackup;
}

bool fetchgroupbackup(Link& link, Progress& progress, const PackageStore& store, const std::filesystem::path& dest,
                      std::string& comment) {
    TransferState& s = link.state();
    const DirectoryListing listing = directorylisting(link, progress);
    if (!s.linkok) return false;
    std::vector<RequestEntry> entries;
    for (const ListRow& row : listing.rows)
        entries.push_back({row.caption.substr(0, kPackageNameSize), row.type, row.archived});
    ReceiveTarget target{progress, store, false, true, [](ListRow) {}, [] {}, {}, {}};
    receiverequested(link, target, entries);
    if (!s.linkok) return false;
    std::string error;
    // The writer keeps the busy flag to itself while it runs: the transfer's is put back.
    const bool busy = s.busy;
    const bool saved = saveas92g(dest, false, store, comment, progress, s, &error, &link.model());
    s.busy = busy;
    if (!saved) link.faillink(error);
    return saved;
}

} // namespace tessaly
