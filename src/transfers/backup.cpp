#include "transfers/backup.h"

#include <algorithm>
#include <vector>

#include "files/packagewriter.h"
#include "files/tifile.h"
#include "link/packets.h"
#include "transfers/groupbackup.h"
#include "transfers/headerdata.h"
#include "transfers/receive.h"
#include "transfers/variablesend.h"

namespace tessaly {

namespace {

// The data request of a backup block asks for 1024 bytes.
constexpr std::uint16_t kBlockRequest = 0x0400;
// Each block's data opens with four bytes of the calculator's own that are not memory.
constexpr std::size_t kBlockLead = 4;

// A block's data as it arrives: past its four lead bytes, into the package store; the
// gauge follows the block.
class BlockData final : public PacketWatcher {
public:
    BlockData(PackageStoreWriter& writer, Progress& progress, std::size_t length)
        : m_writer(writer), m_progress(progress), m_step(std::max<std::size_t>(1, (length / 100) * 2)) {
        progress.setgaugemax(static_cast<int>(length > kBlockLead ? length - kBlockLead : 0));
        progress.setgaugeposition(0);
    }
    void onbyte(std::size_t index, std::uint8_t byte) override {
        m_count = index + 1;
        if (index < kBlockLead) return;
        m_writer.writedata(byte);
        if ((index - kBlockLead + 1) % m_step == 1) {
            m_progress.setgaugeposition(static_cast<int>(index - kBlockLead + 1));
            m_progress.processmessages();
        }
    }
    std::size_t count() const { return m_count; }

private:
    PackageStoreWriter& m_writer;
    Progress& m_progress;
    std::size_t m_step;
    std::size_t m_count = 0;
};

// The backup header and each block header: size, type, no name.
std::vector<std::uint8_t> backupheader(const CalculatorModel& model, std::uint32_t size) {
    return {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size >> 16),
            static_cast<std::uint8_t>(size >> 24), model.backuptype};
}

bool openbackup(TiFileReader& reader, const std::filesystem::path& path, std::string* error) {
    if (!openchecked(reader, path, error)) return false;
    if (reader.file().backuplayout) return true;
    *error = path.filename().string() + " is not a TI-92 backup file.";
    return false;
}

} // namespace

std::string checkbackupfile(const std::filesystem::path& path) {
    TiFileReader reader;
    std::string error;
    return openbackup(reader, path, &error) ? std::string() : error;
}

namespace {

// One block of a backup: its header (the first names the ROM version), our data
// request, then its data into the package store. False when the backup cannot go on.
bool receiveblock(Link& link, Progress& progress, PackageStoreWriter& writer, BackupReceived& result,
                  const PacketHeader& next) {
    TransferState& s = link.state();
    const std::uint32_t b = ++result.blocks;
    progress.setstatus(std::to_string(b));
    const Packet header = receivebody(link, next);
    if (b == 1) result.romversion = parseheader(link.model().header, header.data).name;
    progress.setstatus("Receiving block " + std::to_string(b) + " ROM v" + result.romversion);
    sendack(link);
    sendpacket(link, CmdDataRequest, kBlockRequest);
    expectack(link);

    const std::optional<PacketHeader> datahead = receiveheader(link);
    if (!datahead) return false;
    // Anything but the block's data would be written into the backup as if it were memory.
    if (datahead->command != CmdData) {
        link.faillink(std::string(kBackupNotReceivedText) + "the calculator sent no data for block " + std::to_string(b));
        return false;
    }
    BlockData data(writer, progress, datahead->length);
    const bool sumok = receivebody(link, *datahead, &data).checksumok;
    progress.setgaugeposition(static_cast<int>(data.count() > kBlockLead ? data.count() - kBlockLead : 0));
    if (!s.linkok) {
        // Where the data broke off; a cancel is no break to report.
        if (!cancelled(s))
            s.pendingerror = "Did not receive byte " + std::to_string(data.count() + 1) + " in packet " +
                             std::to_string(b) + ".";
        return false;
    }
    // The block went straight into the store, so it cannot be asked for again: a damaged
    // one would be restored later as the calculator's memory.
    if (!sumok) {
        link.faillink(std::string(kBackupNotReceivedText) + "block " + std::to_string(b) + " arrived damaged (checksum error)");
        return false;
    }
    sendack(link);
    return true;
}

// The blocks from the writer's start on become the package's backup record.
void keepbackup(Link& link, Progress& progress, PackageStoreWriter& writer, std::int64_t start, BackupReceived& result) {
    const std::int64_t end = writer.dataposition();
    // The record counts every byte kept: earlier versions' were four short, and their
    // saved backups lost their last four bytes.
    result.size = static_cast<std::uint32_t>(end - start);
    progress.setstatus("Backup received!(" + std::to_string(result.size) + "b)");
    if (writer.appendrecord(PackageRecord{result.romversion, static_cast<std::int32_t>(start),
                                          static_cast<std::int32_t>(end), static_cast<std::int32_t>(result.size),
                                          link.model().backuptype}))
        result.received = true;
    else
        link.faillink(writer.error());
}

// The request, the blocks the calculator sends, and its end of transmission, after which
// the backup is kept.
void receiveblocks(Link& link, Progress& progress, PackageStoreWriter& writer, std::int64_t start,
                   BackupReceived& result) {
    TransferState& s = link.state();
    progress.setstatus(kRequestingBackupText);
    sendvariablerequest(link, RequestEntry{"main\\backup", link.model().backuptype});
    if (!waitack(link)) link.faillink(kNoRequestAckText);

    std::optional<PacketHeader> next;
    if (s.linkok) {
        next = receiveheader(link);
        progress.setstatus(kReceivingBackupText);
    }
    // Only a block header starts a block: another packet read as one (a refusal, a skip)
    // would put its bytes into the backup as memory, so it ends the receive as a failure,
    // and nothing is kept.
    while (next && next->command == CmdVarHeader && s.linkok && receiveblock(link, progress, writer, result, *next))
        next = receiveheader(link);

    if (s.linkok && next && next->command == CmdEnd) {
        sendack(link);
        keepbackup(link, progress, writer, start, result);
    } else if (s.linkok) {
        link.faillink(std::string(kBackupNotReceivedText) + "the calculator did not end it");
    }
}

} // namespace

BackupReceived receivebackup(Link& link, Progress& progress, const PackageStore& store) {
    TransferState& s = link.state();
    BackupReceived result;
    PackageStoreWriter writer(store);
    std::string error;
    if (!writer.open(true, &error)) {
        link.faillink(error);
        return result;
    }
    const std::int64_t start = writer.dataposition();

    // The Titanium's USB port has no memory image to give: its backup is every variable.
    if (link.directusb()) {
        result.groupmodel = true;
        return result;
    }
    sendready(link);
    expectack(link);
    // The answer told the model: a later one has no memory image to give.
    if (s.linkok && !link.model().imagebackup) {
        result.groupmodel = true;
        return result;
    }
    receiveblocks(link, progress, writer, start, result);
    if (!result.received) writer.dropfrom(start);
    if (!writer.close(&error) && s.linkok) {
        link.faillink(error);
        result.received = false;
    }
    progress.processmessages();
    return result;
}

bool fetchbackup(Link& link, Progress& progress, const PackageStore& store, const std::filesystem::path& dest,
                 std::string& comment) {
    TransferState& s = link.state();
    const BackupReceived received = receivebackup(link, progress, store);
    if (received.groupmodel) return fetchgroupbackup(link, progress, store, dest, comment);
    if (!received.received) return false;
    std::string error;
    const bool saved = savepackage(dest, true, store, comment, progress, s, &error, link.model());
    if (!saved) link.faillink(error);
    return saved;
}

namespace {

// One block of a restore: an empty header, the calculator's data request, the data and
// its acknowledgement. False when the header went unacknowledged; a later step that
// fails leaves the link down, which ends the restore.
bool sendblock(Link& link, std::uint32_t b, std::span<const std::uint8_t> block) {
    sendpacket(link, CmdVarHeader, backupheader(link.model(), 0));
    if (!waitack(link)) {
        link.faillink(std::string(kNoBlockAckText) + std::to_string(b));
        return false;
    }
    expect(link, CmdDataRequest);
    sendack(link);
    sendpacket(link, CmdData, block);
    expectack(link);
    return true;
}

// The backup's header, then its memory block after block, at least one even for an
// empty backup.
void sendblocks(Link& link, Progress& progress, TiFileReader& reader, const std::filesystem::path& path,
                BackupSent& result) {
    TransferState& s = link.state();
    const std::uint32_t n = result.size;
    progress.setstatus(kSendingHeaderText);
    sendpacket(link, CmdVarHeader, backupheader(link.model(), n));
    if (!waitack(link)) {
        link.faillink(kNoHeaderAckText);
        return;
    }
    progress.setstatus("Sending backup (" + std::to_string(n) + "b)..");
    progress.setgaugemax(static_cast<int>(n));
    std::vector<std::uint8_t> block;
    block.reserve(kBackupBlockSize);
    std::uint32_t done = 0;
    do {
        const std::uint32_t b = ++result.blocks;
        progress.setgaugeposition(static_cast<int>(done));
        block.resize(std::min<std::uint32_t>(n - done, kBackupBlockSize));
        if (!reader.read(tidatastart(1) + done, block)) {
            link.faillink("Cannot read " + path.filename().string() + ".");
            break;
        }
        if (!sendblock(link, b, block)) break;
        progress.processmessages();
        done += static_cast<std::uint32_t>(block.size());
    } while (done < n && s.linkok);

    if (s.linkok) {
        progress.setgaugeposition(static_cast<int>(n));
        sendpacket(link, CmdEnd);
        progress.setstatus(kBackupSentText);
        result.sent = true;
    }
}

// A cancel stays a cancel: it neither passes for FARGO's expected cut nor leaves
// "not restored: " without a reason.
void explainfailure(Link& link, Progress& progress, const BackupSent& result, BackupPurpose purpose) {
    TransferState& s = link.state();
    if (s.linkok || cancelled(s)) return;
    // Earlier versions ran through the rest of the file after a failure, and the count
    // of bytes read then passed 105000 for every large backup: the notice is FARGO
    // installation's alone. Any other failure says plainly that memory was not restored.
    if (purpose == BackupPurpose::Fargo && result.size > kLargeBackup && result.size > kFargoNoticeBytes) {
        s.pendingerror = kFargoBackupText;
        progress.setgaugeposition(static_cast<int>(result.size));
    } else if (!s.pendingerror.starts_with(kNotRestoredText)) {
        s.pendingerror = std::string(kNotRestoredText) + s.pendingerror;
    }
}

} // namespace

BackupSent sendbackup(Link& link, Progress& progress, const std::filesystem::path& path, BackupPurpose purpose) {
    BackupSent result;
    link.state().linkok = true;

    TiFileReader reader;
    std::string error;
    if (!openbackup(reader, path, &error)) {
        link.faillink(std::string(kNotRestoredText) + error);
        return result;
    }
    result.size = static_cast<std::uint32_t>(reader.file().length - (tidatastart(1) + 2));

    sendready(link);
    expectack(link);
    // A later model has no memory image to take: each block would be offered to it as a
    // variable without a name.
    if (link.state().linkok && !link.model().imagebackup)
        link.faillink("the " + std::string(link.model().name) + " takes its backup as a group file, not as a memory image.");
    else
        sendblocks(link, progress, reader, path, result);
    explainfailure(link, progress, result, purpose);
    return result;
}

} // namespace tessaly
