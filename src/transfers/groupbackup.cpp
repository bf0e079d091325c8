#include "transfers/groupbackup.h"

#include "files/packagewriter.h"
#include "files/tifile.h"
#include "link/packets.h"
#include "transfers/directory.h"
#include "transfers/backup.h"
#include "transfers/receive.h"
#include "transfers/usbvariables.h"
#include "transfers/variablesend.h"

namespace tessaly {

bool fetchgroupbackup(Link& link, Progress& progress, const PackageStore& store, const std::filesystem::path& dest,
                      std::string& comment) {
    TransferState& s = link.state();
    const DirectoryListing listing = directorylisting(link, progress);
    if (!s.linkok) return false;
    std::vector<RequestEntry> entries;
    // Applications stay out of a backup: they are no variables, and a restore clears only variables.
    for (const ListRow& row : listing.rows)
        if (!isapplicationrow(row)) entries.push_back({row.caption.substr(0, kPackageNameSize), row.type, row.archived, row.locked});
    ReceiveTarget target{progress, store, false, true, [](ListRow) {}, [] {}, {}, {}};
    receiverequested(link, target, entries);
    if (!s.linkok) return false;
    std::string error;
    const bool saved = savepackage(dest, false, store, comment, progress, s, &error, link.model());
    if (!saved) link.faillink(error);
    return saved;
}

namespace {

// The block that opens the backup: size 0, the backup type, "main", and no byte after the
// name; the calculator asks for its data, and none comes before the end.
bool clearmemory(Link& link, Progress& progress) {
    progress.setstatus(kSendingHeaderText);
    const std::string_view main = "main";
    std::vector<std::uint8_t> data{0x00, 0x00, 0x00, 0x00, link.model().backuptype, static_cast<std::uint8_t>(main.size())};
    data.insert(data.end(), main.begin(), main.end());
    sendpacket(link, CmdVarHeader, data);
    if (!expectack(link, kNoHeaderAckText) || !expect(link, CmdDataRequest)) return false;
    sendack(link);
    sendpacket(link, CmdEnd);
    return expectack(link, kNoHeaderAckText);
}

} // namespace

bool restoregroupbackup(Link& link, Progress& progress, const std::filesystem::path& path, std::size_t* restored,
                        OtherModelQuestion* ask) {
    TransferState& s = link.state();
    s.linkok = true;
    TiFileReader reader;
    std::string error;
    if (!openchecked(reader, path, &error)) {
        link.faillink(std::string(kNotRestoredText) + error);
        return false;
    }
    const bool usb = link.directusb();
    if (usb ? !usbready(link) : (sendready(link), !expectack(link))) return false;
    if (!fitsmodel(link, path, *reader.file().model, ask)) return false;
    if (link.model().imagebackup) {
        link.faillink(std::string(kNotRestoredText) + "the " + std::string(link.model().name) +
                      " takes a backup as one memory image, not a group file.");
        return false;
    }
    if (usb ? !usbclearmemory(link, progress) : !clearmemory(link, progress)) return false;
    SendPlan plan;
    plan.anymodel.push_back(path);
    const SendResult sent = sendvariables(link, progress, path, {}, &plan);
    if (restored) *restored = sent.sent.size();
    if (!s.linkok) {
        if (!cancelled(s) && !s.pendingerror.starts_with(kNotRestoredText))
            s.pendingerror = std::string(kNotRestoredText) + s.pendingerror;
        return false;
    }
    progress.setstatus(std::string(kBackupSentText) + " (" + std::to_string(sent.sent.size()) + " variables)");
    return true;
}

} // namespace tessaly
