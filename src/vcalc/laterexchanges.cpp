// The exchanges only the later models have: the version request, the delete, the
// two-phase listing, the answer to a ready check addressed to no model, the backup that is
// every variable, and variables offered locked or archived.
#include <algorithm>
#include <cctype>

#include "files/varname.h"
#include "link/byteorder.h"
#include "link/packets.h"
#include "vcalc/exchanges.h"

namespace tessaly {

namespace {

// The language bytes every known version answer carries.
constexpr std::uint8_t kLanguage[] = {0x09, 0x01};
// The most a data packet's length field counts (65536 is a Flash block's, sent as 0000).
constexpr std::size_t kMaxListingData = 0xFFFF;
// Where an entry's fields lie: the name's eight bytes, then type, attribute and a count.
constexpr std::size_t kEntryType = 8, kEntryAttribute = 9, kEntryCount = 10;
constexpr std::uint8_t kFlashApplicationType = 0x24;

} // namespace

std::uint8_t storedtype(std::span<const std::uint8_t> stored) {
    // The stored bytes end with the tag of what they hold; a program's and a function's tag
    // is the same, the flag byte before it tells them apart, as two closing list tags tell a
    // matrix (a list of lists) from a list. Any other tag closes an expression.
    struct Tag {
        std::uint8_t tag, type;
    };
    static constexpr Tag kTags[] = {{0x2D, 0x0C}, {0xE0, 0x0B}, {0xDF, 0x10}, {0xDD, 0x0A}, {0xDE, 0x0D},
                                    {0xDA, 0x0E}, {0xDB, 0x14}, {0xF3, 0x21}, {0xF8, 0x1C}};
    if (stored.size() < 3) return 0x00;
    const std::uint8_t last = stored.back(), before = stored[stored.size() - 2];
    if (last == 0xDC) return before & 0x08 ? 0x12 : 0x13;
    if (last == 0xD9) return before == 0xD9 ? 0x06 : 0x04;
    for (const Tag& t : kTags)
        if (t.tag == last) return t.type;
    return 0x00;
}

void Exchanges::offeredtype(std::uint8_t type) {
    const CalculatorModel& m = *m_calc.model;
    m_recvtype = type;
    m_recvlocked = m.lockedsendtype != 0 && type == m.lockedsendtype;
    m_recvarchived = m.archivedsendtype != 0 && type == m.archivedsendtype;
    // A backup's variables come under its own type when they are neither.
    m_recvtypefromdata = m_recvlocked || m_recvarchived || (!m.imagebackup && type == m.backuptype);
}

// A later model's backup opens with an empty block of the backup type: the calculator asks
// for it, takes no data, and clears its memory for the variables that follow one by one.
bool Exchanges::startgroupbackup(const Request& r) {
    if (m_calc.model->imagebackup || r.type != m_calc.model->backuptype || r.size != 0) return false;
    ack();
    sendshort(CmdDataRequest);
    m_phase = Phase::GroupBackupEnd;
    return true;
}

bool Exchanges::endgroupbackup(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdEnd) return false;
    m_calc.mem.folders = {CalcFolder{"main", {}}};
    m_calc.changed();
    ack();
    m_phase = Phase::Idle;
    return true;
}

std::uint16_t homekey(const CalculatorModel& model, std::uint16_t code) {
    // The home screen reads the TI-92's codes: the TI-89's own keys are turned into them.
    if (model.diamondkey != kTI92.diamondkey && code >= model.diamondkey)
        return static_cast<std::uint16_t>(code - model.diamondkey + kTI92.diamondkey);
    if (model.key("HOME") != 0 && code == model.key("HOME")) return kTI92.key("HOME");
    return code;
}

void Exchanges::onversion() {
    ack();
    m_phase = Phase::VersionCts;
}

bool Exchanges::versionasked(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdDataRequest) return false;
    ack();
    const Release& r = m_calc.model->release;
    const CalcFlash& f = m_calc.flash;
    // Battery good (00), the language's two bytes, zeros, and the hardware ID at byte 13.
    const Bytes answer = {f.os[0], f.os[1], r.boot[0], r.boot[1], 0x00, f.hardwarerevision, kLanguage[0], kLanguage[1],
                          0,       0,       0,         0,         0,    m_calc.model->hardwareid};
    send(datapacket(answer));
    m_phase = Phase::VersionAck;
    return true;
}

bool Exchanges::versionacked(std::uint8_t cmd) {
    if (cmd != CmdAck) return false;
    m_phase = Phase::Idle;
    return true;
}

void Exchanges::ondelete() {
    const auto r = parserequest(m_in->data());
    if (!r) return;
    ack();
    const auto [foldername, bare] = splitname(withfolder(lowstring(r->name)));
    CalcFolder* folder = m_calc.mem.folder(foldername);
    auto it = folder ? std::find_if(folder->variables.begin(), folder->variables.end(),
                                    [&](const CalcVariable& v) { return v.name == bare; })
                     : std::vector<CalcVariable>::iterator{};
    if (!folder || it == folder->variables.end()) {
        refuse(m_calc.model->refusal.nosuchvariable);
        return;
    }
    // A locked or archived variable is kept, as the calculator's own DelVar keeps it.
    if (it->locked || it->archived) {
        refuse(m_calc.model->refusal.undeletable);
        return;
    }
    folder->variables.erase(it);
    m_calc.changed();
    ack();
}

// A ready check addressed to machine 00 is answered with the Flash system's revision in
// the low byte of the length field and 10 in its high byte.
void Exchanges::onprobe() {
    send(shortpacket(m_calc.model->calcmachine, CmdAck, static_cast<std::uint16_t>(0x1000 | m_calc.flash.flashrevision(*m_calc.model))));
}

// One phase of the listing: its header, then a single data packet of entries. Phase one
// lists the folders with their variables' counts; phase two one folder, its own entry
// first, then its variables with their stored sizes. A request with another filter (the
// TI-92's listing) or for a folder that does not exist is refused as a missing variable.
void Exchanges::startfolderlisting(const Request& request) {
    const CalculatorModel& model = *m_calc.model;
    const auto filter = static_cast<std::uint8_t>(request.size >> 24);
    CalcFolder* named = filter == kVariableFilter ? m_calc.mem.folder(lowstring(request.name)) : nullptr;
    ack();
    if (filter != kFolderFilter && !named) {
        refuse(model.refusal.nosuchvariable);
        return;
    }
    Bytes payload(4, 0);
    auto entry = [&](const std::string& name, std::uint8_t type, std::uint8_t attribute, std::size_t count) {
        // One data packet holds what fits; no memory of ours comes near that many entries.
        if (payload.size() + model.listingentrybytes > kMaxListingData) return;
        Bytes e(model.listingentrybytes, 0);
        std::copy_n(name.begin(), std::min<std::size_t>(8, name.size()), e.begin());
        e[kEntryType] = type;
        e[kEntryAttribute] = attribute;
        for (std::size_t i = 0; i < 4; ++i) e[kEntryCount + i] = static_cast<std::uint8_t>(count >> (8 * i));
        payload.insert(payload.end(), e.begin(), e.end());
    };
    if (named) {
        // Captured: the folder's own entry carries its count in the field's last byte.
        entry(named->name, model.foldertype, 0, std::min<std::size_t>(named->variables.size(), 0xFF) << 24);
        for (const CalcVariable& v : named->variables)
            entry(v.name, v.type, v.archived ? model.archivedattribute : v.locked ? 1 : 0, v.data.size());
        // A system since 2.08 lists its applications with every folder's variables, where the
        // link libraries look for them (an older one also among the folders).
        if (m_calc.flash.upgraded())
            for (const CalcApplication& a : m_calc.flash.applications) entry(a.name, kFlashApplicationType, 0, a.data.size());
    } else {
        for (const CalcFolder& f : m_calc.mem.folders) entry(f.name, model.foldertype, 0, f.variables.size());
        const CalcFlash& flash = m_calc.flash;
        if (flash.upgraded() && flash.os[0] == 2 && flash.os[1] < 8)
            for (const CalcApplication& a : flash.applications) entry(a.name, kFlashApplicationType, 0, a.data.size());
    }
    m_items.clear();
    m_items.push_back({header(static_cast<std::uint32_t>(payload.size() - 4), model.directorytype, "main"), datapacket(payload)});
    startsending(false);
}

} // namespace tessaly
