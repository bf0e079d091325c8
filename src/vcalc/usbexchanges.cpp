// The calculator's side of the Titanium's USB exchanges: set mode, parameters, the
// directory, variables requested and offered, modify variable and execute.
#include "vcalc/usbexchanges.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "files/flashfile.h"
#include "files/varname.h"

namespace tessaly {

namespace {

// The type attribute's data: these three bytes, then the type.
constexpr std::uint8_t kTypeMagic[] = {0xF0, 0x0C, 0x00};
// What the Titanium keeps beside its RAM: its archive, in bytes, and the ID it answers with.
constexpr std::uint64_t kUserFlash = 2'703'360, kPhysicalFlash = 4'194'304, kPhysicalRam = 262'144;
// The full ID holds the ID list's three groups at 1, 7 and 13, each after a separator byte.
constexpr std::uint8_t kFullId[18] = {0, '0', '3', '0', '6', '9', 0, 'D', '1', 'B', 'A', '3', 0, 'F', 'F', 'A', 'B', 0};
// More than any system: a computer that never stops cannot fill our memory.
constexpr std::uint32_t kMostSystem = 4u << 20;
// The clock counts seconds from 1997-01-01 00:00 UTC.
constexpr std::int64_t kClockEpoch = 852'076'800;
constexpr std::uint8_t kKeyAction = 3;

// Reads a packet's fields in order; a field past the end leaves it failed and reads zeros.
class Fields {
public:
    explicit Fields(const UsbBytes& data) : m_data(data) {}
    bool ok() const { return m_ok; }
    bool atend() const { return m_ok && m_at == m_data.size(); }
    std::uint32_t number(int bytes) {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | byte();
        return v;
    }
    std::uint8_t byte() {
        if (m_at >= m_data.size()) {
            m_ok = false;
            return 0;
        }
        return m_data[m_at++];
    }
    UsbBytes bytes(std::size_t n) {
        if (m_data.size() - m_at < n) {
            m_ok = false;
            m_at = m_data.size();
            return {};
        }
        UsbBytes out(m_data.begin() + std::ptrdiff_t(m_at), m_data.begin() + std::ptrdiff_t(m_at + n));
        m_at += n;
        return out;
    }
    // A length byte, the name and its NUL; with an empty name the NUL is there only when
    // always is set.
    std::string name(bool always) {
        const std::uint8_t n = byte();
        if (n == 0 && !always) return {};
        const UsbBytes b = bytes(n);
        if (byte() != 0) m_ok = false;
        return {b.begin(), b.end()};
    }
    // A count (2 bytes), then attributes of ID, size and data.
    std::vector<UsbAttribute> attributes() {
        std::vector<UsbAttribute> out(number(2));
        for (UsbAttribute& a : out) {
            a.id = static_cast<std::uint16_t>(number(2));
            a.data = bytes(number(2));
        }
        return out;
    }

private:
    const UsbBytes& m_data;
    std::size_t m_at = 0;
    bool m_ok = true;
};

void putnumber(UsbBytes& out, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

UsbBytes number(std::uint64_t v, int bytes) {
    UsbBytes out;
    putnumber(out, v, bytes);
    return out;
}

void putname(UsbBytes& out, const std::string& name) {
    out.push_back(static_cast<std::uint8_t>(name.size()));
    if (name.empty()) return;
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

VirtualPacket error(std::uint16_t code) { return {vtype::Error, number(code, 2)}; }
VirtualPacket dataack() { return {vtype::DataAck, {}}; }

const UsbAttribute* attribute(const std::vector<UsbAttribute>& attrs, std::uint16_t id) {
    for (const UsbAttribute& a : attrs)
        if (a.id == id && !a.data.empty()) return &a;
    return nullptr;
}

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A name as the calculator keeps it, or empty when it could not hold it.
std::string keptname(const std::string& name) {
    const std::string low = lowername(name);
    return validvarname(low) ? low : std::string();
}

} // namespace

bool UsbExchanges::away() const { return m_mis.awayfromhome || !m_calc.home.athome(); }

std::vector<VirtualPacket> UsbExchanges::take(const VirtualPacket& packet) {
    const Phase phase = m_phase;
    m_phase = Phase::Idle;
    if (phase == Phase::AwaitContents && packet.type == vtype::VariableContents) return contents(packet.data);
    if ((phase == Phase::SystemHeader && packet.type == vtype::OsHeader) ||
        (phase == Phase::SystemData && (packet.type == vtype::OsData || packet.type == vtype::Eot)))
        return system(phase, packet);
    if (packet.type == vtype::OsBegin) return beginsystem(packet.data);
    // The boot code, waiting for a system, answers the questions of a ready check and takes
    // a system; nothing else.
    if (m_calc.flash.waiting && packet.type != vtype::SetMode && packet.type != vtype::ParameterRequest)
        return {error(usberror::WaitingForSystem)};
    // The end of a variable sent to us: nothing answers it.
    if (packet.type == vtype::Eot) return {};
    switch (packet.type) {
    case vtype::SetMode: return setmode();
    case vtype::ParameterRequest: return parameters(packet.data);
    case vtype::ParameterSet: return setparameter(packet.data);
    case vtype::DirectoryRequest: return directory(packet.data);
    case vtype::VariableRequest: return request(packet.data);
    case vtype::RequestToSend: return offer(packet.data);
    case vtype::ModifyVariable: return modify(packet.data);
    case vtype::Execute: return execute(packet.data);
    default: return {error(usbcalcerror::NoSuchVariable)};
    }
}

std::vector<VirtualPacket> UsbExchanges::setmode() {
    if (away()) return {error(usberror::Busy)};
    return {{vtype::ModeAck, {}}};
}

// ---------------------------------------------------------------- parameters

std::optional<UsbBytes> UsbExchanges::parameter(std::uint16_t id) {
    const CalculatorModel& m = *m_calc.model;
    const CalcFlash& flash = m_calc.flash;
    std::uint64_t archived = 0, inram = 0;
    for (const CalcFolder& f : m_calc.mem.folders)
        for (const CalcVariable& v : f.variables) (v.archived ? archived : inram) += v.data.size();
    const std::uint32_t seconds =
        static_cast<std::uint32_t>(now() + m_calc.flash.clockoffset - kClockEpoch);
    switch (id) {
    case usbparam::ProductName: return UsbBytes(m.name.begin(), m.name.end());
    case 0x0004: return number(flash.hardwarerevision, 2);
    case usbparam::FullId:
        if (!flash.upgraded()) return std::nullopt;
        return UsbBytes(std::begin(kFullId), std::end(kFullId));
    case 0x0006: return UsbBytes{0x09};
    case 0x0007: return UsbBytes{0x01};
    case 0x0008: return number(m.calcmachine, 2);
    case 0x0009: return UsbBytes{0, m.release.boot[0], m.release.boot[1], 0};
    case 0x000A: return UsbBytes{0x01};
    case usbparam::OsVersion: return UsbBytes{0, flash.os[0], flash.os[1], 0};
    case 0x000C: return number(kPhysicalRam, 8);
    case 0x000D: return number(m_calc.capacity, 8);
    case usbparam::FreeRam: return number(m_calc.capacity - std::min<std::uint64_t>(inram, m_calc.capacity), 8);
    case 0x000F: return number(kPhysicalFlash, 8);
    case 0x0010: return number(kUserFlash, 8);
    case usbparam::FreeFlash: return number(flashroomfor(m_calc, {}), 8);
    case 0x0019: case 0x001D: case 0x0023: case 0x002E: return UsbBytes{0x01};
    case 0x001E: return number(static_cast<std::uint64_t>(m.shownwidth), 2);
    case 0x001F: return number(static_cast<std::uint64_t>(m.shownheight), 2);
    case usbparam::Screenshot: {
        const CalcScreen& s = m_calc.currentscreen();
        return UsbBytes(s.begin(), s.begin() + std::ptrdiff_t(m.screenbytes()));
    }
    case usbparam::ClockOn: return UsbBytes{m_clockon};
    case usbparam::ClockSeconds: return number(seconds, 4);
    case 0x0026: return UsbBytes{0, 0};
    // The port numbers the third date format 0, and says 1 for a 24-hour clock.
    case usbparam::DateFormat: return UsbBytes{static_cast<std::uint8_t>(flash.dateformat == 3 ? 0 : flash.dateformat)};
    case usbparam::TimeFormat: return UsbBytes{static_cast<std::uint8_t>(flash.timeformat == 24 ? 1 : 0)};
    case usbparam::Battery: return UsbBytes{0x01};  // enough for the archive to be written
    case usbparam::GoHome: return UsbBytes{static_cast<std::uint8_t>(away() ? 0 : 1)};
    default: return std::nullopt;
    }
}

// Answered anywhere, even away from the home screen: the count, then per parameter its ID,
// a status (0: there) and, for one that is there, its size and data.
std::vector<VirtualPacket> UsbExchanges::parameters(const UsbBytes& data) {
    Fields in(data);
    const std::uint32_t count = in.number(2);
    std::vector<std::uint16_t> ids;
    for (std::uint32_t i = 0; i < count && in.ok(); ++i) ids.push_back(static_cast<std::uint16_t>(in.number(2)));
    if (!in.atend()) return {error(usbcalcerror::NoSuchVariable)};
    std::vector<UsbParameter> answer;
    for (std::uint16_t id : ids) {
        const auto value = parameter(id);
        answer.push_back({id, value.has_value(), value.value_or(UsbBytes{})});
    }
    return {{vtype::ParameterData, parameterbytes(answer)}};
}

std::vector<VirtualPacket> UsbExchanges::setparameter(const UsbBytes& data) {
    Fields in(data);
    const auto id = static_cast<std::uint16_t>(in.number(2));
    const UsbBytes value = in.bytes(in.number(2));
    if (!in.atend() || value.empty()) return {error(usbcalcerror::NoSuchVariable)};
    switch (id) {
    case usbparam::GoHome:
        if (value[0]) {
            // Leaves whatever screen it was on, as the HOME key does.
            if (!m_calc.home.athome()) m_calc.home.presskey(key::Home, m_calc.mem);
            m_mis.awayfromhome = false;
            m_calc.screendirty = true;
        }
        break;
    case usbparam::ClockSeconds:
        if (value.size() != 4) return {error(usbcalcerror::NoSuchVariable)};
        m_calc.flash.clockoffset = std::int64_t{Fields(value).number(4)} + kClockEpoch - now();
        m_calc.flashchanged();
        break;
    case usbparam::DateFormat:
        if (value[0] > 8) return {error(usbcalcerror::NoSuchVariable)};
        m_calc.flash.dateformat = value[0] == 0 ? 3 : value[0];
        m_calc.flashchanged();
        break;
    case usbparam::TimeFormat:
        m_calc.flash.timeformat = value[0] ? 24 : 12;
        m_calc.flashchanged();
        break;
    case usbparam::ClockOn: m_clockon = value[0]; break;
    default: return {error(usbcalcerror::NoSuchVariable)};
    }
    return {dataack()};
}

// ---------------------------------------------------------------- the directory and variables

VirtualPacket UsbExchanges::header(const std::string& folder, const std::string& name,
                                   const std::vector<std::uint16_t>& ids, std::uint8_t type, std::uint32_t size,
                                   bool archived, bool locked) const {
    VirtualPacket h{vtype::VariableHeader, {}};
    putname(h.data, folder);
    putname(h.data, name);
    putnumber(h.data, ids.size(), 2);
    for (std::uint16_t id : ids) {
        UsbBytes value;
        switch (id) {
        case usbattr::Size: value = number(size, 4); break;
        case usbattr::Type:
            value.assign(std::begin(kTypeMagic), std::end(kTypeMagic));
            value.push_back(type);
            break;
        case usbattr::Archived: value = {static_cast<std::uint8_t>(archived)}; break;
        case usbattr::Locked: value = {static_cast<std::uint8_t>(locked)}; break;
        case usbattr::Version: value = number(0, 4); break;
        case 0x05: case 0x42: value = {0x00}; break;  // no application variable; access as usual
        default: break;
        }
        putnumber(h.data, id, 2);
        h.data.push_back(value.empty() ? 1 : 0);
        if (value.empty()) continue;
        putnumber(h.data, value.size(), 2);
        h.data.insert(h.data.end(), value.begin(), value.end());
    }
    return h;
}

// A header per folder, then per variable of that folder, with the attributes asked for;
// then the end.
std::vector<VirtualPacket> UsbExchanges::directory(const UsbBytes& data) {
    Fields in(data);
    const std::uint32_t count = in.number(4);
    std::vector<std::uint16_t> ids;
    for (std::uint32_t i = 0; i < count && in.ok(); ++i) ids.push_back(static_cast<std::uint16_t>(in.number(2)));
    if (!in.ok()) return {error(usbcalcerror::NoSuchVariable)};
    if (away()) return {error(usberror::Busy)};
    std::vector<VirtualPacket> out;
    const std::uint8_t foldertype = m_calc.model->foldertype;
    for (const CalcFolder& f : m_calc.mem.folders) {
        out.push_back(header(f.name, "", ids, foldertype, static_cast<std::uint32_t>(f.variables.size()), false, false));
        for (const CalcVariable& v : f.variables)
            out.push_back(header(f.name, v.name, ids, v.type, static_cast<std::uint32_t>(v.data.size()), v.archived, v.locked));
    }
    // Applications live in Flash, in no folder.
    for (const CalcApplication& a : m_calc.flash.applications)
        out.push_back(header("", a.name, ids, kFlashApplication, static_cast<std::uint32_t>(a.data.size()), false, false));
    out.push_back({vtype::Eot, {}});
    return out;
}

std::vector<VirtualPacket> UsbExchanges::request(const UsbBytes& data) {
    Fields in(data);
    const std::string folder = in.name(false), name = in.name(true);
    in.bytes(5);  // 01 FF FF FF FF
    std::vector<std::uint16_t> ids(in.number(2));
    for (auto& id : ids) id = static_cast<std::uint16_t>(in.number(2));
    const auto attrs = in.attributes();
    in.number(2);
    if (!in.ok()) return {error(usbcalcerror::NoSuchVariable)};
    if (away()) return {error(usberror::Busy)};
    const UsbAttribute* type = attribute(attrs, usbattr::RequestType);
    if (folder.empty() && type && type->data.back() == kFlashApplication) {
        const CalcApplication* app = m_calc.flash.application(lowername(name));
        if (!app) return {error(usbcalcerror::NoSuchVariable)};
        return {header("", app->name, ids, kFlashApplication, static_cast<std::uint32_t>(app->data.size()), false, false),
                {vtype::VariableContents, app->data}};
    }
    CalcFolder* f = m_calc.mem.folder(folder.empty() ? "main" : lowername(folder));
    const std::string bare = lowername(name);
    auto it = f ? std::find_if(f->variables.begin(), f->variables.end(), [&](const CalcVariable& v) { return v.name == bare; })
                : std::vector<CalcVariable>::iterator{};
    if (!f || it == f->variables.end()) return {error(usbcalcerror::NoSuchVariable)};
    return {header(f->name, it->name, ids, it->type, static_cast<std::uint32_t>(it->data.size()), it->archived, it->locked),
            {vtype::VariableContents, it->data}};
}

// A variable offered: refused when its name cannot be held, when it would overwrite a locked
// or archived one, or when it does not fit; else the calculator asks for its contents (an
// archived one after a delay acknowledgement: writing the archive takes a while).
std::vector<VirtualPacket> UsbExchanges::offer(const UsbBytes& data) {
    Fields in(data);
    Offer o;
    const std::string folder = in.name(false), name = in.name(true);
    o.name = keptname(name);
    o.folder = folder.empty() ? "main" : keptname(folder);
    o.size = in.number(4);
    in.byte();  // silent or not
    const auto attrs = in.attributes();
    if (!in.atend()) return {error(usbcalcerror::NoSuchVariable)};
    if (away()) return {error(usberror::Busy)};
    const UsbAttribute* type = attribute(attrs, usbattr::Type);
    if (folder.empty() && type && type->data.back() == kFlashApplication) return offerapplication(lowername(name), o.size);
    if (o.name.empty() || o.folder.empty()) return {error(usbcalcerror::BadName)};
    if (const UsbAttribute* t = attribute(attrs, usbattr::Type)) o.type = t->data.back();
    if (const UsbAttribute* a = attribute(attrs, usbattr::Archived)) o.archived = a->data[0] != 0;
    if (const UsbAttribute* l = attribute(attrs, usbattr::Locked)) o.locked = l->data[0] != 0;
    std::size_t kept = 0;
    if (const CalcVariable* old = m_calc.mem.find(o.folder + "\\" + o.name)) {
        if (old->locked || old->archived) return {error(usberror::Locked)};
        kept = old->data.size();
    }
    if (!o.archived && m_calc.mem.usedbytes() - kept + o.size > m_calc.capacity) return {error(usberror::OutOfMemory)};
    m_offer = o;
    m_phase = Phase::AwaitContents;
    if (o.archived) return {{vtype::DelayAck, number(50'000, 4)}, dataack()};
    return {dataack()};
}

// An application offered: it needs a Flash system and room; it is judged once whole.
std::vector<VirtualPacket> UsbExchanges::offerapplication(const std::string& name, std::uint32_t size) {
    if (!m_calc.flash.upgraded()) return {error(usberror::SignatureMismatch)};
    if (size > flashroomfor(m_calc, name)) return {error(usberror::OutOfMemory)};
    m_offer = Offer{};
    m_offer.name = name;
    m_offer.type = kFlashApplication;
    m_offer.size = size;
    m_offer.flash = true;
    m_phase = Phase::AwaitContents;
    return {dataack()};
}

// What the link port's refusal of a Flash part is on this port: a part for another model
// fails its signature check here.
std::vector<VirtualPacket> UsbExchanges::flashrefusal(std::uint8_t code) const {
    if (code == m_calc.model->refusal.noroom) return {error(usberror::OutOfMemory)};
    if (code == m_calc.model->refusal.badname) return {error(usbcalcerror::BadName)};
    return {error(usberror::SignatureMismatch)};
}

std::vector<VirtualPacket> UsbExchanges::contents(const UsbBytes& data) {
    if (data.size() != m_offer.size) return {error(usbcalcerror::Transmission)};
    if (m_offer.flash) {
        if (const std::uint8_t code = takeflashpart(m_calc, m_offer.type, m_offer.name, data)) return flashrefusal(code);
        m_phase = Phase::AwaitEot;
        return {dataack()};
    }
    CalcFolder* f = m_calc.mem.folder(m_offer.folder);
    if (!f) {
        m_calc.mem.folders.push_back({m_offer.folder, {}});
        f = &m_calc.mem.folders.back();
    }
    CalcVariable v{m_offer.name, m_offer.type, data, m_offer.locked, m_offer.archived};
    auto it = std::find_if(f->variables.begin(), f->variables.end(), [&](const CalcVariable& x) { return x.name == v.name; });
    if (it != f->variables.end()) *it = std::move(v);
    else f->variables.push_back(std::move(v));
    m_calc.changed();
    m_phase = Phase::AwaitEot;
    return {dataack()};
}

// ---------------------------------------------------------------- a system

// From the moment it took the size, the old system is being erased: broken off, the
// calculator is left waiting for a system.
std::vector<VirtualPacket> UsbExchanges::beginsystem(const UsbBytes& data) {
    Fields in(data);
    in.bytes(7);
    const std::uint32_t size = in.number(4);
    if (!in.atend() || size == 0 || size > kMostSystem) return {error(usbcalcerror::Transmission)};
    if (!m_calc.flash.waiting && away()) return {error(usberror::Busy)};
    m_system = {};
    m_systemsize = size;
    if (!m_calc.flash.waiting) {
        m_calc.flash.waiting = true;
        m_calc.flashchanged();
    }
    m_phase = Phase::SystemHeader;
    return {{vtype::OsAck, number(kTitaniumBufferSize, 4)}};
}

// The header, then the data in pieces, then the end; the whole judged as the link port's
// system is. Another packet breaks the transfer off, and the calculator waits.
std::vector<VirtualPacket> UsbExchanges::system(Phase phase, const VirtualPacket& packet) {
    if (phase == Phase::SystemHeader && packet.type == vtype::OsHeader) {
        m_systemheader = packet.data;
        m_phase = Phase::SystemData;
        return {{vtype::OsAck, number(kTitaniumBufferSize, 4)}};
    }
    if (phase == Phase::SystemData && packet.type == vtype::OsData) {
        if (m_system.size() + packet.data.size() > m_systemsize) return {error(usbcalcerror::Transmission)};
        m_system.insert(m_system.end(), packet.data.begin(), packet.data.end());
        m_phase = Phase::SystemData;
        return {dataack()};
    }
    // The end.
    UsbBytes data = std::move(m_system);
    m_system.clear();
    // The header travels twice: alone first, and at the head of the data.
    if (data.size() != m_systemsize || data.size() < m_systemheader.size() ||
        !std::equal(m_systemheader.begin(), m_systemheader.end(), data.begin()))
        return {error(usberror::SignatureMismatch)};
    if (const std::uint8_t code = takeflashpart(m_calc, kFlashOs, "", std::move(data))) return flashrefusal(code);
    return {{vtype::EotAck, {}}};
}

// ---------------------------------------------------------------- modify and execute

std::vector<VirtualPacket> UsbExchanges::removevariable(const std::string& folder, const std::string& name) {
    CalcFolder* f = m_calc.mem.folder(folder);
    auto it = f ? std::find_if(f->variables.begin(), f->variables.end(), [&](const CalcVariable& v) { return v.name == name; })
                : std::vector<CalcVariable>::iterator{};
    if (!f || it == f->variables.end()) return {error(usbcalcerror::NoSuchVariable)};
    if (it->archived) return {error(usbcalcerror::ArchivedDelete)};
    if (it->locked) return {error(usberror::Locked)};
    f->variables.erase(it);
    m_calc.changed();
    return {dataack()};
}

// Delete (no target), rename or move (a target name), or new attributes (archived, locked).
std::vector<VirtualPacket> UsbExchanges::modify(const UsbBytes& data) {
    Fields in(data);
    const std::string srcfolder = in.name(false), srcname = in.name(true);
    in.attributes();
    in.byte();
    const std::string dstfolder = in.name(false), dstname = in.name(false);
    const auto attrs = in.attributes();
    if (!in.atend()) return {error(usbcalcerror::NoSuchVariable)};
    if (away()) return {error(usberror::Busy)};
    const std::string folder = srcfolder.empty() ? "main" : lowername(srcfolder), name = lowername(srcname);
    if (dstfolder.empty() && dstname.empty() && attrs.empty()) return removevariable(folder, name);
    CalcVariable* v = m_calc.mem.find(folder + "\\" + name);
    if (!v) return {error(usbcalcerror::NoSuchVariable)};
    if (!dstname.empty()) {
        const std::string tofolder = dstfolder.empty() ? folder : keptname(dstfolder), toname = keptname(dstname);
        CalcFolder* target = tofolder.empty() ? nullptr : m_calc.mem.folder(tofolder);
        if (!target || toname.empty()) return {error(usbcalcerror::BadName)};
        if (tofolder != folder || toname != name) {
            if (m_calc.mem.find(tofolder + "\\" + toname)) return {error(usbcalcerror::BadName)};
            if (v->locked || v->archived) return {error(usberror::Locked)};
            CalcVariable moved = *v;
            moved.name = toname;
            removevariable(folder, name);
            target = m_calc.mem.folder(tofolder);
            target->variables.push_back(std::move(moved));
            v = &target->variables.back();
        }
    }
    if (const UsbAttribute* a = attribute(attrs, usbattr::Archived)) v->archived = a->data[0] != 0;
    if (const UsbAttribute* l = attribute(attrs, usbattr::Locked)) v->locked = l->data[0] != 0;
    m_calc.changed();
    return {dataack()};
}

// A key (action 3 and its big-endian code) reaches the home screen as on the link port, even
// away from it: keys are how its user gets back. Running a program is acknowledged only.
std::vector<VirtualPacket> UsbExchanges::execute(const UsbBytes& data) {
    Fields in(data);
    in.name(false);
    in.name(false);
    const std::uint8_t action = in.byte();
    if (!in.ok()) return {error(usbcalcerror::NoSuchVariable)};
    if (action == kKeyAction) {
        const auto code = static_cast<std::uint16_t>(in.number(2));
        if (!in.atend()) return {error(usbcalcerror::NoSuchVariable)};
        if (m_calc.home.presskey(homekey(*m_calc.model, code), m_calc.mem)) m_calc.changed();
        m_calc.screendirty = true;
    } else if (away()) {
        return {error(usberror::Busy)};
    }
    return {dataack()};
}

} // namespace tessaly
