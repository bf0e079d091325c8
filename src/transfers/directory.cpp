#include "transfers/directory.h"

#include <array>

#include "files/ticharset.h"
#include "link/packets.h"
#include "link/typenames.h"

namespace tessaly {

namespace {

// A variable request for type 0x19 with an empty name asks for the directory.
constexpr std::uint8_t kDirectoryRequest[] = {0x00, 0x00, 0x00, 0x00, kTypeDirectory, 0x00};
// The listing's data request asks for "any length".
constexpr std::uint16_t kAnyLength = 0xFFFF;

// One directory entry, after the four zero bytes that open every data packet's data.
struct DirectoryEntry {
    std::string name;
    std::uint8_t type = 0;
    std::uint32_t size = 0;
};

std::optional<DirectoryEntry> parseentry(const std::vector<std::uint8_t>& data) {
    if (data.size() < 18) return std::nullopt;
    DirectoryEntry e;
    for (std::size_t i = 4; i < 12; ++i)
        if (data[i] != 0) e.name += static_cast<char>(data[i]);
    e.type = data[12];
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

DirectoryListing directorylisting(Link& link, Progress& shell, const std::function<void(const ListRow&)>& onrow) {
    TransferState& s = link.state();
    DirectoryListing result;
    shell.setstatus(kDirectoryReceivingText);

    sendready(link);
    if (s.linkok && waitack(link)) sendpacket(link, CmdRequest, kDirectoryRequest);
    if (!(s.linkok && waitack(link))) {
        // An answer that is no acknowledgement leaves the link up; without a reason the
        // listing would just stop, and the user would never learn why.
        if (s.linkok) link.faillink(kNoAckText);
        return result;
    }
    receivepacket(link);  // the calculator's header for the listing; nothing in it is needed
    result.answered = true;

    std::string folder;
    std::uint8_t last = 0;
    do {
        sendack(link);
        sendpacket(link, CmdDataRequest, kAnyLength);
        if (!waitack(link)) continue;

        const Packet packet = receiveverified(link);
        const std::optional<DirectoryEntry> entry = packet.is(CmdData) ? parseentry(packet.data) : std::nullopt;
        // A damaged entry would list a wrong name or size: better no row and a clear reason.
        if (s.linkok && !entry) link.faillink(std::string(kDirectoryChecksumText) + tibytes_to_utf8(entryname(packet.data)));
        if (!s.linkok) break;

        sendack(link);
        const std::optional<PacketHeader> next = receiveheader(link);
        last = next ? next->command : 0;

        if (entry->type == kTypeFolder) {
            folder = entry->name;
        } else {
            ListRow row{folder + "\\" + entry->name, std::string(typename_of(entry->type)), std::to_string(entry->size)};
            if (onrow) onrow(row);
            result.rows.push_back(std::move(row));
        }
    } while (last != CmdEnd && s.linkok);
    // The end of transmission goes unacknowledged.
    shell.setstatus(s.linkok ? kDirectoryReceivedText : kSomeErrorText);
    return result;
}

} // namespace tessaly
