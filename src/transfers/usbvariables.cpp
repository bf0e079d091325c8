#include "transfers/usbvariables.h"

#include <algorithm>
#include <initializer_list>

#include "files/packagestore.h"
#include "files/ticharset.h"
#include "files/varname.h"
#include "transfers/usbexchanges.h"
#include "transfers/usbwire.h"

namespace tessaly {

// The packet fields every exchange on the port writes and reads (usbwire.h).
namespace usbwire {

// A type attribute's value: three fixed bytes, then the type code.
constexpr std::uint8_t kTypeMagic[] = {0xF0, 0x0C, 0x00};
// What the listing asks of each entry: type, archived, application flag, size, locked, access.
constexpr std::uint16_t kListingAttributes[] = {usbattr::Type, usbattr::Archived, 0x05, usbattr::Size, usbattr::Locked, 0x42};
constexpr std::uint8_t kListingTail[] = {0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x01};
// What a variable request asks back about the variable: archived, version, locked.
constexpr std::uint16_t kRequestAttributes[] = {usbattr::Archived, usbattr::Version, usbattr::Locked};
// A new folder is made by a variable in it that is deleted again: the integer 0.
constexpr std::string_view kScratchName = "a1234567";
constexpr std::uint8_t kScratchData[] = {0x00, 0x02, 0x00, 0x1F};
constexpr std::uint8_t kExpressionType = 0x00;

void putword(UsbBytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void putlong(UsbBytes& b, std::uint32_t v) {
    putword(b, static_cast<std::uint16_t>(v >> 16));
    putword(b, static_cast<std::uint16_t>(v));
}
// A name goes as its length, then (when it has one) its bytes and a zero.
void putname(UsbBytes& b, std::string_view s) {
    b.push_back(static_cast<std::uint8_t>(s.size()));
    if (s.empty()) return;
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}
void putfullname(UsbBytes& b, const std::string& fullname) {
    const VariablePath p = splitname(fullname);
    putname(b, p.folder);
    putname(b, p.name);
}
void putattributes(UsbBytes& b, std::initializer_list<UsbAttribute> attributes) {
    putword(b, static_cast<std::uint16_t>(attributes.size()));
    for (const UsbAttribute& a : attributes) {
        putword(b, a.id);
        putword(b, static_cast<std::uint16_t>(a.data.size()));
        b.insert(b.end(), a.data.begin(), a.data.end());
    }
}
UsbAttribute typeattribute(std::uint16_t id, std::uint8_t type) {
    return {id, {kTypeMagic[0], kTypeMagic[1], kTypeMagic[2], type}};
}
UsbAttribute flag(std::uint16_t id, bool on) { return {id, {static_cast<std::uint8_t>(on ? 1 : 0)}}; }

// Reads a packet's fields; past the end it reads zeros and remembers that it ran out, so a
// packet cut short is told from a whole one once, at the end.
class FieldReader {
public:
    explicit FieldReader(std::span<const std::uint8_t> data) : m_data(data) {}
    std::uint8_t byte() { return m_at < m_data.size() ? m_data[m_at++] : (m_short = true, 0); }
    std::uint16_t word() { return static_cast<std::uint16_t>((byte() << 8) | byte()); }
    std::span<const std::uint8_t> take(std::size_t n) {
        if (m_data.size() - m_at < n) m_short = true;
        const std::size_t k = std::min(n, m_data.size() - m_at);
        const auto s = m_data.subspan(m_at, k);
        m_at += k;
        return s;
    }
    std::string name() {
        const std::size_t n = byte();
        if (n == 0) return {};
        const auto s = take(n);
        byte();  // its closing zero
        return {s.begin(), s.end()};
    }
    bool whole() const { return !m_short; }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_at = 0;
    bool m_short = false;
};

// A variable header's fields, by attribute ID whatever their order; an attribute the
// calculator marks missing is left as it is.
std::optional<UsbEntry> parseentry(const VirtualPacket& p) {
    FieldReader r(p.data);
    UsbEntry e;
    e.folder = r.name();
    e.name = r.name();
    for (std::uint16_t n = r.word(); n > 0 && r.whole(); --n) {
        const std::uint16_t id = r.word();
        if (r.byte() != 0) continue;
        const auto v = r.take(r.word());
        if (id == usbattr::Type && v.size() == 4) e.type = v[3];
        if (id == usbattr::Size && v.size() == 4) e.size = (std::uint32_t{v[0]} << 24) | (v[1] << 16) | (v[2] << 8) | v[3];
        if (id == usbattr::Archived && v.size() == 1) e.archived = v[0] != 0;
        if (id == usbattr::Locked && v.size() == 1) e.locked = v[0] != 0;
    }
    return r.whole() ? std::optional<UsbEntry>(e) : std::nullopt;
}

// What came where an answer was due: the packet wanted, an error packet's code, or nothing
// (the link then failed with why: cut short, unplugged, silent, something else).
Reply awaitreply(Link& link, std::uint16_t wanted, std::uint32_t timeoutms) {
    std::optional<VirtualPacket> p = receivevirtual(link, timeoutms);
    // A calculator that needs longer says so first (writing its archive, say).
    while (p && p->type == vtype::DelayAck && link.state().linkok) p = receivevirtual(link, timeoutms);
    if (!p || !link.state().linkok) return {};
    if (p->type == wanted) return {true, 0, std::move(p)};
    if (p->type == vtype::Error && p->data.size() >= 2) return {false, static_cast<std::uint16_t>((p->data[0] << 8) | p->data[1]), {}};
    link.faillink(kUsbUnexpectedText);
    return {};
}

// Whether an error packet refused only this variable (locked, no room, no such name) and
// the rest goes on; busy and flat batteries stop the whole exchange with their text.
bool refusesone(Link& link, const Reply& r) {
    if (!link.state().linkok || r.error == 0) return false;
    if (r.error != usberror::Busy && r.error != usberror::BatteryLow) return true;
    link.faillink(usberrortext(r.error));
    return false;
}

// A refusal's reason as the link port words it, to follow a name. Beside the codes every
// exchange knows, the Titanium refuses a name it has no variable of (0004), an archived
// variable it cannot delete (0006) and a name it cannot hold (000D).
std::string reasonof(std::uint16_t code) {
    if (code == usberror::Locked) return " (it is locked or archived)";
    if (code == 0x0006) return " (it is archived)";
    if (code == usberror::OutOfMemory) return " (it has no room)";
    if (code == 0x0004) return " (it has no such variable)";
    if (code == 0x000D) return " (it cannot hold that name)";
    return " (error " + std::to_string(code) + ")";
}

bool sendeot(Link& link) { return sendvirtual(link, {vtype::Eot, {}}); }

} // namespace usbwire

using namespace usbwire;

namespace {

// A listed entry: a folder names itself (in its folder field, or its name on some systems);
// a variable is a row of its folder; an application (no folder) a row of its own.
void listed(const CalculatorModel& model, const UsbEntry& e, DirectoryListing& result,
            const std::function<void(const ListRow&)>& onrow) {
    auto addfolder = [&](const std::string& f) {
        if (!f.empty() && std::find(result.folders.begin(), result.folders.end(), f) == result.folders.end())
            result.folders.push_back(f);
    };
    if (e.type == model.foldertype) return addfolder(e.folder.empty() ? e.name : e.folder);
    addfolder(e.folder);
    ListRow row{e.folder.empty() ? e.name : e.folder + "\\" + e.name, e.folder, e.type, e.size};
    row.archived = model.hasarchive && e.archived;
    row.locked = !row.archived && e.locked;
    if (onrow) onrow(row);
    result.rows.push_back(std::move(row));
}

} // namespace

DirectoryListing usbdirectorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow) {
    DirectoryListing result;
    progress.setstatus(kDirectoryReceivingText);
    if (!usbready(link)) return result;
    UsbBytes request;
    putlong(request, std::size(kListingAttributes));
    for (const std::uint16_t a : kListingAttributes) putword(request, a);
    request.insert(request.end(), std::begin(kListingTail), std::end(kListingTail));
    sendvirtual(link, {vtype::DirectoryRequest, request});
    while (link.state().linkok) {
        const std::optional<VirtualPacket> p = receivevirtual(link);
        if (!p || !link.state().linkok) break;
        result.answered = true;
        if (p->type == vtype::Eot) break;
        const std::optional<UsbEntry> e = p->type == vtype::VariableHeader ? parseentry(*p) : std::nullopt;
        if (!e) {
            const bool error = p->type == vtype::Error && p->data.size() >= 2;
            link.faillink(error ? usberrortext(static_cast<std::uint16_t>((p->data[0] << 8) | p->data[1]))
                                : p->type == vtype::VariableHeader ? std::string(kUsbCutShortText) : std::string(kUsbUnexpectedText));
            break;
        }
        listed(link.model(), *e, result, onrow);
    }
    if (result.answered) progress.setstatus(link.state().linkok ? kDirectoryReceivedText : kSomeErrorText);
    return result;
}

namespace {

UsbBytes variablerequest(const RequestEntry& entry) {
    UsbBytes d;
    putfullname(d, withfolder(entry.name));
    d.insert(d.end(), {0x01, 0xFF, 0xFF, 0xFF, 0xFF});
    putword(d, static_cast<std::uint16_t>(std::size(kRequestAttributes)));
    for (const std::uint16_t a : kRequestAttributes) putword(d, a);
    putattributes(d, {typeattribute(usbattr::RequestType, entry.type)});
    putword(d, 0);
    return d;
}

// The stored bytes S: a big-endian length L, then L bytes.
bool lengthmatches(const UsbBytes& s) { return s.size() >= 2 && ((s[0] << 8) | s[1]) + 2u == s.size(); }

// One requested variable: request, header, contents, into the store. The name kept, or
// nullopt: refused (the link up) or failed (with why).
std::optional<std::string> receiveone(Link& link, ReceiveTarget& target, const RequestEntry& entry, bool first) {
    const std::string shown = tibytes_to_utf8(entry.name);
    sendvirtual(link, {vtype::VariableRequest, variablerequest(entry)});
    target.progress.setstatus(kGettingHeaderText);
    const Reply header = awaitreply(link, vtype::VariableHeader);
    const std::optional<UsbEntry> e = header.ok ? parseentry(*header.packet) : std::nullopt;
    if (header.ok && !e) link.faillink(std::string(kUsbCutShortText));
    if (!e) {
        refusesone(link, header);
        return std::nullopt;
    }
    const Reply contents = awaitreply(link, vtype::VariableContents);
    if (!contents.ok) {
        refusesone(link, contents);
        return std::nullopt;
    }
    const UsbBytes& stored = contents.packet->data;
    if (!lengthmatches(stored)) {
        link.faillink(std::string(kLengthMismatchText) + shown);
        return std::nullopt;
    }
    const std::string name = (target.storefolder ? entry.name : e->name).substr(0, kPackageNameSize);
    PackageStoreWriter writer(target.store);
    std::string error;
    if (!writer.open(first, &error)) {
        link.faillink(error);
        return std::nullopt;
    }
    const std::int64_t start = writer.dataposition();
    writer.writedata(stored.data(), stored.size());
    const std::uint8_t type = e->type ? e->type : entry.type;
    const PackageRecord record{name, static_cast<std::int32_t>(start), static_cast<std::int32_t>(writer.dataposition()),
                               static_cast<std::int32_t>(stored.size()), type, entry.archived || e->archived,
                               entry.locked || e->locked};
    if (!writer.appendrecord(record) || !writer.close(&error)) {
        link.faillink(error.empty() ? writer.error() : error);
        return std::nullopt;
    }
    target.addrow(variablerow(name, type, static_cast<std::uint32_t>(stored.size())));
    target.progress.setgaugemax(static_cast<int>(stored.size()));
    target.progress.setgaugeposition(static_cast<int>(stored.size()));
    return name;
}

} // namespace

ReceiveResult usbreceiverequested(Link& link, ReceiveTarget& target, const std::vector<RequestEntry>& entries) {
    TransferState& s = link.state();
    ReceiveResult result;
    if (!usbready(link)) return result;
    const std::uint32_t cancels = s.cancelgeneration;
    bool first = true;
    for (std::size_t j = 1; j <= entries.size() && s.linkok && s.cancelgeneration == cancels; ++j) {
        const RequestEntry& entry = entries[j - 1];
        const std::string counter = std::to_string(j) + "/" + std::to_string(entries.size()) + "]";
        target.progress.setstatus(std::string(kReceivingVariableText) + counter);
        if (target.onreceiving) target.onreceiving();
        const std::optional<std::string> name = receiveone(link, target, entry, first);
        if (target.onreceived) target.onreceived();
        if (name) {
            first = false;
            result.received.push_back(*name);
            target.progress.setstatus(tibytes_to_utf8(entry.name) + std::string(kReceivedText) + counter);
        } else if (s.linkok) {
            result.notreceived.push_back(entry.name);
            target.progress.setstatus(tibytes_to_utf8(entry.name) + std::string(kNotReceivedStatusText) + counter);
        }
    }
    if (s.linkok && !result.notreceived.empty()) {
        std::string missing;
        for (const std::string& n : result.notreceived) missing += (missing.empty() ? "" : ", ") + tibytes_to_utf8(n);
        link.faillink(std::string(kNotReceivedText) + missing);
    }
    return result;
}

bool usbsendone(Link& link, Progress& progress, const TiEntry& entry, const std::string& name,
                std::span<const std::uint8_t> stored, SendResult& result) {
    const CalculatorModel& model = link.model();
    if (!usbready(link)) return false;
    progress.setstatus(std::string(kSendingText) + tibytes_to_utf8(name) + "..");
    UsbBytes rts;
    putfullname(rts, name);
    putlong(rts, static_cast<std::uint32_t>(stored.size()));
    rts.push_back(0x01);  // silent
    const bool archived = model.hasarchive && entry.attribute == model.archivedattribute;
    putattributes(rts, {typeattribute(usbattr::Type, entry.type), flag(usbattr::Archived, archived),
                        {usbattr::Version, {0, 0, 0, 0}}, flag(usbattr::Locked, !archived && entry.attribute == kLockedAttribute)});
    if (!sendvirtual(link, {vtype::RequestToSend, rts})) return false;
    Reply r = awaitreply(link, vtype::DataAck);
    if (r.ok) {
        progress.setgaugemax(static_cast<int>(stored.size()));
        sendvirtual(link, {vtype::VariableContents, UsbBytes(stored.begin(), stored.end())});
        r = awaitreply(link, vtype::DataAck);
        progress.setgaugeposition(static_cast<int>(stored.size()));
    }
    if (!r.ok) {
        // Refused before or after its bytes (locked, no room): named, and the rest goes on.
        if (refusesone(link, r)) result.notsent.push_back(name);
        return true;
    }
    sendeot(link);
    result.sent.push_back(name);
    progress.setstatus(std::to_string(result.sent.size()) + std::string(kVariablesSentText));
    return true;
}

namespace {

const ListRow* findlisted(const DirectoryListing& listing, const std::string& name) {
    const std::string wanted = lowername(withfolder(name));
    for (const ListRow& row : listing.rows)
        if (lowername(row.caption) == wanted) return &row;
    return nullptr;
}

// What each command does, in the refusal's words and the status line's.
struct Verb {
    ManageAction action;
    std::string_view verb, doing;
};
constexpr Verb kVerbs[] = {
    {ManageAction::Delete, "delete ", "Deleting "},        {ManageAction::NewFolder, "make the folder ", "Making the folder "},
    {ManageAction::Rename, "rename ", "Renaming "},        {ManageAction::Lock, "lock ", "Locking "},
    {ManageAction::Unlock, "unlock ", "Unlocking "},       {ManageAction::Archive, "archive ", "Archiving "},
    {ManageAction::Unarchive, "unarchive ", "Unarchiving "},
};
const Verb& verbof(ManageAction action) {
    return *std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const Verb& v) { return v.action == action; });
}

// The modify-variable packet: the variable by name and type, then what it becomes: no
// name (deleted), a new name, or the same name with new attributes. Lock and archive
// each leave the other attribute as the listing shows it.
UsbBytes modification(ManageAction action, const std::vector<std::string>& t, const ListRow* row) {
    const std::string source = withfolder(t[0]);
    UsbBytes d;
    putfullname(d, source);
    putattributes(d, {typeattribute(usbattr::RequestType, row ? row->type : 0)});
    d.push_back(0x01);
    const bool archived = row && row->archived, locked = row && row->locked;
    switch (action) {
    case ManageAction::Delete:
        putfullname(d, {});
        putword(d, 0);
        break;
    case ManageAction::Rename:
        putfullname(d, withfolder(t[1]));
        putword(d, 0);
        break;
    default: {
        const bool archive = action == ManageAction::Archive || (archived && action != ManageAction::Unarchive);
        const bool lock = action == ManageAction::Lock || (locked && action != ManageAction::Unlock);
        putfullname(d, source);
        putattributes(d, {flag(usbattr::Archived, archive), flag(usbattr::Locked, lock)});
    }
    }
    return d;
}

// An expression sent into the folder, which makes it, then deleted again.
bool makefolder(Link& link, const std::string& folder) {
    UsbBytes rts;
    putname(rts, folder);
    putname(rts, kScratchName);
    putlong(rts, sizeof kScratchData);
    rts.push_back(0x01);
    putattributes(rts, {typeattribute(usbattr::Type, kExpressionType), flag(usbattr::Archived, false),
                        {usbattr::Version, {0, 0, 0, 0}}, flag(usbattr::Locked, false)});
    sendvirtual(link, {vtype::RequestToSend, rts});
    if (!awaitreply(link, vtype::DataAck).ok) return false;
    sendvirtual(link, {vtype::VariableContents, UsbBytes(std::begin(kScratchData), std::end(kScratchData))});
    if (!awaitreply(link, vtype::DataAck).ok) return false;
    return sendeot(link);
}

} // namespace

bool usbdelete(Link& link, Progress& progress, const std::string& fullname) {
    std::vector<std::string> refused;
    const std::optional<bool> done = usbmanage(link, progress, ManageAction::Delete, {fullname}, {}, refused);
    if (!refused.empty()) link.faillink(refused.front());
    return done.value_or(false);
}

bool usbclearmemory(Link& link, Progress& progress) {
    const DirectoryListing held = usbdirectorylisting(link, progress, {});
    std::vector<std::string> refused;
    for (const ListRow& row : held.rows) {
        if (row.folder.empty()) continue;  // an application: a backup leaves those alone
        const ManageAction free = row.archived ? ManageAction::Unarchive : ManageAction::Unlock;
        const bool ok = (!row.archived && !row.locked) || usbmanage(link, progress, free, {row.caption}, held, refused).value_or(false);
        if (!ok || !usbmanage(link, progress, ManageAction::Delete, {row.caption}, {}, refused).value_or(false)) break;
    }
    if (!refused.empty()) link.faillink(refused.front());
    return link.state().linkok;
}

std::optional<bool> usbmanage(Link& link, Progress& progress, ManageAction action, const std::vector<std::string>& t,
                              const DirectoryListing& before, std::vector<std::string>& refused) {
    const std::string shown = tibytes_to_utf8(t[0]);
    progress.setstatus(std::string(verbof(action).doing) + shown + "..");
    if (!usbready(link)) return std::nullopt;
    std::vector<std::string> target = t;
    if (action == ManageAction::NewFolder) {
        if (!makefolder(link, t[0]) && !link.state().linkok) return std::nullopt;
        target = {t[0] + "\\" + std::string(kScratchName)};
    }
    const ManageAction sent = action == ManageAction::NewFolder ? ManageAction::Delete : action;
    sendvirtual(link, {vtype::ModifyVariable, modification(sent, target, findlisted(before, target[0]))});
    const Reply r = awaitreply(link, vtype::DataAck);
    if (r.ok) return true;
    if (!refusesone(link, r)) return link.state().linkok ? std::optional<bool>(false) : std::nullopt;
    refused.push_back("The calculator refused to " + std::string(verbof(action).verb) + shown + reasonof(r.error));
    return false;
}

} // namespace tessaly
