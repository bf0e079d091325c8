// The exchanges only the later models have: the version request, the delete, the
// two-phase listing and the answer to a ready check addressed to no model.
#include <algorithm>
#include <cctype>

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

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

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

bool Exchanges::versionstep(std::uint8_t cmd) {
    if (cmd == CmdAck && m_phase == Phase::VersionAck) {
        m_phase = Phase::Idle;
        return true;
    }
    if (cmd != CmdDataRequest || m_phase != Phase::VersionCts) return cmd == CmdAck;
    ack();
    const Release& r = m_calc.model->release;
    // Battery good (00), the language's two bytes, zeros, and the hardware ID at byte 13.
    const Bytes answer = {r.os[0], r.os[1], r.boot[0], r.boot[1], 0x00, r.hardwarerevision, kLanguage[0], kLanguage[1],
                          0,       0,       0,         0,         0,    m_calc.model->hardwareid};
    send(datapacket(answer));
    m_phase = Phase::VersionAck;
    return true;
}

void Exchanges::ondelete() {
    const auto r = parserequest(m_in->data());
    if (!r) return;
    ack();
    std::string name = r->name;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto slash = name.find('\\');
    CalcFolder* folder = m_calc.mem.folder(slash == std::string::npos ? "main" : name.substr(0, slash));
    const std::string bare = slash == std::string::npos ? name : name.substr(slash + 1);
    auto it = folder ? std::find_if(folder->variables.begin(), folder->variables.end(),
                                    [&](const CalcVariable& v) { return v.name == bare; })
                     : std::vector<CalcVariable>::iterator{};
    // A locked variable is kept, as the calculator's own DelVar keeps it.
    if (!folder || it == folder->variables.end() || it->locked) {
        refuse(m_calc.model->refusal.nosuchvariable);
        return;
    }
    folder->variables.erase(it);
    m_calc.changed();
    ack();
}

// A ready check addressed to machine 00 is answered with the Flash system's revision in
// the low byte of the length field and 10 in its high byte.
void Exchanges::onprobe() {
    send(shortpacket(m_calc.model->calcmachine, CmdAck, static_cast<std::uint16_t>(0x1000 | m_calc.model->release.flashrevision)));
}

// One phase of the listing: its header, then a single data packet of entries. Phase one
// lists the folders with their variables' counts; phase two one folder, its own entry
// first, then its variables with their stored sizes. A request with another filter (the
// TI-92's listing) or for a folder that does not exist is refused as a missing variable.
void Exchanges::startfolderlisting(const Request& request) {
    const CalculatorModel& model = *m_calc.model;
    const auto filter = static_cast<std::uint8_t>(request.size >> 24);
    CalcFolder* named = filter == kVariableFilter ? m_calc.mem.folder(lowered(request.name)) : nullptr;
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
    } else {
        for (const CalcFolder& f : m_calc.mem.folders) entry(f.name, model.foldertype, 0, f.variables.size());
    }
    m_items.clear();
    m_items.push_back({header(static_cast<std::uint32_t>(payload.size() - 4), model.directorytype, "main"), datapacket(payload)});
    startsending(false);
}

} // namespace tessaly
