#include "transfers/directory.h"

#include <algorithm>
#include <array>
#include <span>

#include "files/ticharset.h"
#include "link/packets.h"
#include "transfers/packetcommands.h"
#include "transfers/usbvariables.h"

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

// An entry's fields from its first byte: the name's eight bytes, type, attribute, size.
DirectoryEntry entryat(std::span<const std::uint8_t> data) {
    DirectoryEntry e;
    for (std::size_t i = 0; i < 8; ++i)
        if (data[i] != 0) e.name += static_cast<char>(data[i]);
    e.type = data[8];
    e.attribute = data[9];
    for (std::size_t i = 0; i < 4; ++i) e.size |= std::uint32_t{data[10 + i]} << (8 * i);
    return e;
}

std::optional<DirectoryEntry> parseentry(const std::vector<std::uint8_t>& data) {
    if (data.size() < 18) return std::nullopt;
    return entryat(std::span(data).subspan(4));
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
    // An application lives outside the folders; every folder's listing names it again.
    if (entry.type == kFlashApplication) {
        const auto same = [&](const ListRow& r) { return isapplicationrow(r) && r.caption == entry.name; };
        if (std::any_of(result.rows.begin(), result.rows.end(), same)) return;
        ListRow row{entry.name, "", entry.type, entry.size};
        if (onrow) onrow(row);
        result.rows.push_back(std::move(row));
        return;
    }
    ListRow row{folder + "\\" + entry.name, folder, entry.type, entry.size};
    // A later model's archived attribute (3) has the locked bit too: it is archived, not locked.
    row.archived = model.hasarchive && entry.attribute == model.archivedattribute;
    row.locked = !row.archived && (entry.attribute & kLockedAttribute) != 0;
    if (onrow) onrow(row);
    result.rows.push_back(std::move(row));
}

// One phase of a later model's listing: the request with its filter, the calculator's
// header, our data request, the one data packet of entries and its end. The entries after
// the four zero bytes; nullopt when the phase failed.
std::optional<std::vector<DirectoryEntry>> listingphase(Link& link, std::uint8_t filter, std::string_view folder) {
    const CalculatorModel& model = link.model();
    std::vector<std::uint8_t> request{0x00, 0x00, 0x00, filter, model.directorytype, static_cast<std::uint8_t>(folder.size())};
    request.insert(request.end(), folder.begin(), folder.end());
    sendpacket(link, CmdRequest, request);
    if (!expectack(link, kNoAckText) || !expectpacket(link, CmdVarHeader).complete) return std::nullopt;
    sendack(link);
    senddatarequest(link);
    if (!expectack(link)) return std::nullopt;
    const Packet packet = receiveverified(link);
    if (link.state().linkok && !packet.is(CmdData)) link.faillink(std::string(kDirectoryChecksumText) + std::string(folder));
    if (!link.state().linkok) return std::nullopt;
    sendack(link);
    if (!expect(link, CmdEnd)) return std::nullopt;
    sendack(link);
    std::vector<DirectoryEntry> entries;
    const std::span<const std::uint8_t> data(packet.data);
    for (std::size_t at = 4; at + model.listingentrybytes <= data.size(); at += model.listingentrybytes)
        entries.push_back(entryat(data.subspan(at)));
    return entries;
}

// The machine byte names the first of the models that share it; where another of them
// lays its entries out otherwise (the Voyage 200 and the TI-92 Plus), only the version
// answer tells which one is listing, and whether it is the one chosen.
bool entrylayoutknown(const Link& link) {
    const CalculatorModel& model = link.model();
    if (!link.chosenmodel() && modelbymachine(model.calcmachine) != &model) return true;
    for (const CalculatorModel* m : allmodels())
        if (m != &model && m->calcmachine == model.calcmachine && m->listingentrybytes != model.listingentrybytes)
            return false;
    return true;
}

// The folders first, then each folder's variables; the entry of the folder itself that
// opens its second phase names no variable.
void listbyfolder(Link& link, Progress& progress, DirectoryListing& result,
                  const std::function<void(const ListRow&)>& onrow) {
    CalculatorVersion version;
    if (!entrylayoutknown(link) && !requestversion(link, progress, version)) return;
    progress.setstatus(kDirectoryReceivingText);
    const CalculatorModel& model = link.model();
    const auto folders = listingphase(link, kFolderFilter, {});
    if (!folders) return;
    result.answered = true;
    for (const DirectoryEntry& f : *folders) {
        if (f.type != model.foldertype) continue;  // an older system lists its applications here too
        const auto entries = listingphase(link, kVariableFilter, f.name);
        if (!entries) return;
        std::string folder;
        listentry(model, f, folder, result, onrow);
        for (std::size_t i = 0; i < entries->size(); ++i)
            if (i > 0 || (*entries)[i].type != model.foldertype) listentry(model, (*entries)[i], folder, result, onrow);
    }
}

} // namespace

namespace {

// The TI-92's listing: its request, the calculator's header, then one data packet per
// folder or variable, CONT between them, until the end of transmission.
void listbyentry(Link& link, DirectoryListing& result, const std::function<void(const ListRow&)>& onrow) {
    TransferState& s = link.state();
    std::vector<std::uint8_t> request{0x00, 0x00, 0x00, 0x00, link.model().directorytype, 0x00};
    request.resize(request.size() + link.model().header.trailingbytes, 0);
    sendpacket(link, CmdRequest, request);
    if (!expectack(link, kNoAckText)) return;
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
}

} // namespace

std::vector<std::string> DirectoryListing::emptyfolders() const {
    std::vector<std::string> out;
    for (const std::string& f : folders)
        if (std::none_of(rows.begin(), rows.end(), [&](const ListRow& r) { return r.folder == f; })) out.push_back(f);
    return out;
}

DirectoryListing directorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow) {
    if (link.directusb()) return usbdirectorylisting(link, progress, onrow);
    DirectoryListing result;
    progress.setstatus(kDirectoryReceivingText);

    // An answer that is no acknowledgement leaves the link up; without a reason the
    // listing would just stop, and the user would never learn why.
    sendready(link);
    // The listing is laid out once the answer told which model is on the cable.
    if (!expectack(link, kNoAckText)) return result;
    const bool folderlisting = link.model().folderlisting;
    if (folderlisting)
        listbyfolder(link, progress, result, onrow);
    else
        listbyentry(link, result, onrow);
    // A calculator that never answered its request (silent, or another model than the one
    // chosen) leaves the status line to the failure's text, said once.
    if (result.answered)
        progress.setstatus(link.state().linkok ? kDirectoryReceivedText : kSomeErrorText);
    return result;
}

} // namespace tessaly
