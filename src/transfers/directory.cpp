#include "transfers/directory.h"

#include <array>

#include "files/ticharset.h"
#include "link/packets.h"

namespace tessaly {

namespace {

// The entry's attribute bits.
constexpr std::uint8_t kLockedAttribute = 0x01;

// The listing's data request asks for "any length".
constexpr std::uint16_t kAnyLength = 0xFFFF;

// One directory entry, after the four zero bytes that open every data packet's data.
struct DirectoryEntry {
    std::string name;
    std::uint8_t type = 0;
    std::uint8_t attribute = 0;
    std::uint32_t size = 0;
};

std::optional<DirectoryEntry> parseentry(const std::vector<std::uint8_t>& data) {
    if (data.size() < 18) return std::nullopt;
    DirectoryEntry e;
    for (std::size_t i = 4; i < 12; ++i)
        if (data[i] != 0) e.name += static_cast<char>(data[i]);
    e.type = data[12];
    e.attribute = data[13];
    for (std::size_t i = 0; i < 4; ++i) e.size |= std::uint32_t{data[14 + i]} << (8 * i);
    return e;
}

std::string entryname(const std::vector<std::uint8_t>& data) {
    std::string name;
    for (std::size_t i = 4; i < data.size() && i < 12; ++i)
        if (data[i] != 0) name += static_cast<char>(data[i]);
    return name;
}

} // namespace

namespace {

// Adds a listed entry: a folder starts the names after it, anything else is a row.
void listentry(const CalculatorModel& model, const DirectoryEntry& entry, std::string& folder, DirectoryListing& result,
               const std::function<void(const ListRow&)>& onrow) {
    if (entry.type == model.foldertype) {
        folder = entry.name;
        result.folders.push_back(folder);
        return;
    }
    ListRow row{folder + "\\" + entry.name, std::string(model.typename_of(entry.type)), std::to_string(entry.size)};
    // A later model's archived attribute (3) has the locked bit too: it is archived, not locked.
    row.archived = model.hasarchive && entry.attribute == model.archivedattribute;
    row.locked = !row.archived && (entry.attribute & kLockedAttribute) != 0;
    if (onrow) onrow(row);
    result.rows.push_back(std::move(row));
}

} // namespace

DirectoryListing directorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow) {
    TransferState& s = link.state();
    DirectoryListing result;
    progress.setstatus(kDirectoryReceivingText);

    // An answer that is no acknowledgement leaves the link up; without a reason the
    // listing would just stop, and the user would never learn why.
    sendready(link);
    // A request for the directory type with an empty name asks for the listing; laid out
    // once the answer told which model is on the cable.
    if (expectack(link, kNoAckText)) {
        std::vector<std::uint8_t> request{0x00, 0x00, 0x00, 0x00, link.model().directorytype, 0x00};
        request.resize(request.size() + link.model().header.trailingbytes, 0);
        sendpacket(link, CmdRequest, request);
    }
    if (!expectack(link, kNoAckText)) return result;
    result.answered = true;
    // The calculator's header for the listing; nothing in it is needed.
    expectpacket(link, CmdVarHeader);

    std::string folder;
    std::uint8_t last = 0;
    while (last != CmdEnd && s.linkok) {
        sendack(link);
        sendpacket(link, CmdDataRequest, kAnyLength);
        if (!expectack(link)) break;

        const Packet packet = receiveverified(link);
        const std::optional<DirectoryEntry> entry = packet.is(CmdData) ? parseentry(packet.data) : std::nullopt;
        // A damaged entry would list a wrong name or size: better no row and a clear reason.
        if (s.linkok && !entry) link.faillink(std::string(kDirectoryChecksumText) + tibytes_to_utf8(entryname(packet.data)));
        if (!s.linkok) break;

        sendack(link);
        const std::optional<PacketHeader> next = receiveheader(link);
        last = next ? next->command : 0;
        listentry(link.model(), *entry, folder, result, onrow);
    }
    // The end of transmission goes unacknowledged.
    progress.setstatus(s.linkok ? kDirectoryReceivedText : kSomeErrorText);
    return result;
}

} // namespace tessaly
