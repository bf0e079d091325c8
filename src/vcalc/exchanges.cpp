#include "vcalc/exchanges.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "files/varname.h"
#include "link/byteorder.h"
#include "link/packets.h"
#include "vcalc/statefile.h"

namespace tessaly {

namespace {

constexpr std::size_t kBackupBlock = 1024;
constexpr std::string_view kRomVersion = "1.11";
// What opens each data packet of a backup, before the block's bytes of the memory image.
constexpr std::uint8_t kBackupBlockPrefix[] = {0x00, 0x00, 0x1B, 0x00};
// The type of the header that opens the TI-92's listing: no variable type, as captured.
constexpr std::uint8_t kListingHeaderType = 0x53;
// The home screen's rules the FCamera grey plane follows (homescreen.cpp lays them out):
// the tool bar above its rule, and the rules above the entry and the status line, from
// the display's bottom.
constexpr std::size_t kToolBarRows = 10, kEntryRuleFromBottom = 20, kStatusRuleFromBottom = 9;

} // namespace

bool holdablename(std::string_view name) {
    return !name.empty() && name.size() <= 8 && name.find_first_of(std::string_view("\0\\", 2)) == std::string_view::npos;
}

void CalcState::changed() {
    foreignimage.reset();
    screendirty = true;
    if (statepath.empty()) return;
    stateerror.clear();
    if (!savecalcmemory(statepath, mem, &stateerror, *model) && onstateerror) onstateerror(stateerror);
}

void CalcState::flashchanged() {
    if (statepath.empty() || model->flashdevice == 0) return;
    stateerror.clear();
    if (!savecalcflash(flashstatepath(statepath), flash, &stateerror) && onstateerror) onstateerror(stateerror);
}

const CalcScreen& CalcState::currentscreen() {
    if (screendirty) {
        home.render(screen, model->shownwidth, model->shownheight);
        screendirty = false;
        // A smaller display shows only the top left of the bitmap: the rest stays dark-free.
        const auto rowbytes = static_cast<std::size_t>(model->screenwidth / 8);
        for (std::size_t y = 0; y < static_cast<std::size_t>(model->screenheight); ++y)
            for (std::size_t x = 0; x < static_cast<std::size_t>(model->screenwidth); ++x)
                if (static_cast<int>(x) >= model->shownwidth || static_cast<int>(y) >= model->shownheight)
                    screen[y * rowbytes + x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
    }
    return screen;
}

// ---------------------------------------------------------------- packets out

void Exchanges::ack() { sendshort(CmdAck); }

Bytes Exchanges::datapacket(std::span<const std::uint8_t> payload) const {
    return makepacket(m_calc.model->calcmachine, CmdData, payload, m_mis.wrongchecksum);
}

Bytes Exchanges::header(std::uint32_t size, std::uint8_t type, std::string_view name) const {
    const HeaderLayout& h = m_calc.model->header;
    return packet(CmdVarHeader, headerdata(size, type, name, h.trailingbytes, h.calctrailing));
}

void Exchanges::refuse(std::uint8_t reason) {
    const RefusalLayout& r = m_calc.model->refusal;
    Bytes data(r.reasonbytes, 0);
    data[r.reasonoffset] = reason;
    if (reason == r.noroom && !r.noroomdata.empty()) data.assign(r.noroomdata.begin(), r.noroomdata.end());
    send(packet(CmdSkip, data));
}

Exchanges::Item Exchanges::variableitem(const std::string& folder, const CalcVariable& v, bool withfolder) const {
    Bytes payload(4, 0);
    payload.insert(payload.end(), v.data.begin(), v.data.end());
    const std::string name = withfolder ? folder + "\\" + v.name : v.name;
    return {header(static_cast<std::uint32_t>(v.data.size()), v.type, name), datapacket(payload)};
}

// ---------------------------------------------------------------- dispatch

const Exchanges::Start Exchanges::kStarts[] = {
    {CmdReady, &Exchanges::onready},    {CmdRequest, &Exchanges::onrequest}, {CmdVarHeader, &Exchanges::onheader},
    {CmdSendVar, &Exchanges::onheader}, {CmdScreen, &Exchanges::onscreen},   {CmdKey, &Exchanges::onkey},
    {CmdVersion, &Exchanges::onversion}, {CmdDelete, &Exchanges::ondelete},
};

void Exchanges::packet(const PacketAssembler& p) {
    m_in = &p;
    if (p.machine() == 0x00) {  // addressed to no model: only the ready check is answered
        if (p.command() == CmdReady) onprobe();
        return;
    }
    if (m_phase != Phase::Idle && continueexchange()) return;
    m_phase = Phase::Idle;
    if (waitingrefusal()) return;
    for (const auto& h : kStarts)
        if (h.command == p.command() && m_calc.model->knows(h.command)) {
            (this->*h.handler)();
            return;
        }
}

// ---------------------------------------------------------------- exchanges the computer starts

void Exchanges::onready() {
    if (m_calc.home.athome() && !m_mis.awayfromhome)
        ack();
    else if (m_calc.model->readystatus)
        send(shortpacket(m_calc.model->calcmachine, CmdAck, kNotReadyStatus));
}

void Exchanges::onscreen() {
    ack();
    send(datapacket(m_calc.currentscreen()));
}

void Exchanges::onkey() {
    ack();
    if (m_calc.home.presskey(homekey(*m_calc.model, m_in->param()), m_calc.mem)) m_calc.changed();
    m_calc.screendirty = true;
}

void Exchanges::onrequest() {
    const auto r = parserequest(m_in->data());
    if (!r) return;
    if (r->type == m_calc.model->directorytype)
        return m_calc.model->folderlisting ? startfolderlisting(*r) : startlisting();
    if (r->type == m_calc.model->backuptype && m_calc.model->imagebackup) return startbackup();
    if (flashrequest(*r)) return;
    CalcVariable* v = m_calc.mem.find(lowstring(r->name));
    ack();
    if (!v) {
        refuse(m_calc.model->refusal.nosuchvariable);
        return;
    }
    m_items.clear();
    m_items.push_back(variableitem({}, *v, false));
    startsending(false);
}

void Exchanges::startsending(bool listing) {
    m_listing = listing;
    m_itemindex = 0;
    send(m_items[0].header);
    m_phase = Phase::AwaitCts;
}

void Exchanges::startlisting() {
    ack();
    m_items.clear();
    auto entry = [this](const std::string& name, std::uint8_t type, std::uint8_t attribute, std::uint32_t size) {
        Bytes payload(4, 0);
        for (std::size_t i = 0; i < 8; ++i) payload.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
        payload.push_back(type);
        payload.push_back(attribute);
        for (int s = 0; s < 32; s += 8) payload.push_back(static_cast<std::uint8_t>(size >> s));
        m_items.push_back({{}, datapacket(payload)});
    };
    for (const auto& f : m_calc.mem.folders) {
        entry(f.name, m_calc.model->foldertype, 0, static_cast<std::uint32_t>(f.variables.size()));
        for (const auto& v : f.variables)
            entry(v.name, v.type, v.archived ? m_calc.model->archivedattribute : v.locked ? 1 : 0,
                  static_cast<std::uint32_t>(v.data.size()));
    }
    // The header names the current folder; its size is one entry's length, as captured.
    m_items[0].header = header(static_cast<std::uint32_t>(m_calc.model->listingentrybytes), kListingHeaderType, "main");
    startsending(true);
}

void Exchanges::startbackup() {
    ack();
    const Bytes image = m_calc.foreignimage ? *m_calc.foreignimage : backupimage(m_calc.mem);
    m_items.clear();
    for (std::size_t at = 0; at < image.size(); at += kBackupBlock) {
        const std::size_t n = std::min(kBackupBlock, image.size() - at);
        Bytes payload(std::begin(kBackupBlockPrefix), std::end(kBackupBlockPrefix));
        payload.insert(payload.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                       image.begin() + static_cast<std::ptrdiff_t>(at + n));
        m_items.push_back({header(static_cast<std::uint32_t>(n), m_calc.model->backuptype, kRomVersion), datapacket(payload)});
    }
    startsending(false);
}

void Exchanges::onheader() {
    const auto r = parserequest(m_in->data());
    if (!r) return;
    if (r->type == m_calc.model->backuptype && m_calc.model->imagebackup) {
        ack();  // the announcement of the whole backup: no data request of its own
        m_restoreimage.clear();
        m_phase = Phase::RestoreBlock;
        return;
    }
    if (startgroupbackup(*r)) return;
    if (flashheader(*r)) return;
    std::string name = lowstring(r->name);
    VariablePath path = splitname(withfolder(name));
    m_recvfolder = std::move(path.folder);
    m_recvname = std::move(path.name);
    offeredtype(r->type);
    m_recvsize = r->size;
    CalcVariable* existing = m_calc.mem.find(m_recvfolder + "\\" + m_recvname);
    // The size may count the 4 padding bytes or not; counting them errs on the safe side.
    const std::size_t incoming = r->size;
    const std::size_t used = m_calc.mem.usedbytes() - (existing ? existing->data.size() : 0);
    const RefusalLayout& refusal = m_calc.model->refusal;
    ack();
    if (m_mis.refuseheaders || (existing && (existing->locked || existing->archived))) {
        refuse(refusal.locked);
    } else if (!holdablename(m_recvname) || !holdablename(m_recvfolder)) {
        refuse(refusal.badname);
    } else if (used + incoming > m_calc.capacity) {
        refuse(refusal.noroom);
    } else {
        sendshort(CmdDataRequest);
        m_phase = Phase::RecvData;
    }
}

// ---------------------------------------------------------------- the exchange in progress

const Exchanges::Continuation Exchanges::kContinuations[] = {
    {Phase::AwaitCts, &Exchanges::awaitingcts},         {Phase::AwaitDataAck, &Exchanges::awaitingdataack},
    {Phase::RecvData, &Exchanges::receivingdata},       {Phase::RecvEnd, &Exchanges::endingreceive},
    {Phase::RestoreBlock, &Exchanges::restoringblock},  {Phase::RestoreData, &Exchanges::restoringdata},
    {Phase::VersionCts, &Exchanges::versionasked},      {Phase::VersionAck, &Exchanges::versionacked},
    {Phase::GroupBackupEnd, &Exchanges::endgroupbackup}, {Phase::FlashBlock, &Exchanges::takingflashblock},
    {Phase::FlashNext, &Exchanges::flashcontinues},     {Phase::ClockData, &Exchanges::takingclock},
};

// False when the packet does not belong to it: it then may start a new one.
bool Exchanges::continueexchange() {
    for (const auto& c : kContinuations)
        if (c.phase == m_phase) return (this->*c.handler)(m_in->command());
    return false;
}

bool Exchanges::receivingdata(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdData) return false;
    if (!wholevariable()) {
        // Kept, it could be neither listed, sent nor written to the state file.
        refuse(m_calc.model->refusal.noroom);
        m_phase = Phase::Idle;
        return true;
    }
    takevariable();
    ack();
    m_phase = Phase::RecvEnd;
    return true;
}

bool Exchanges::endingreceive(std::uint8_t cmd) {
    if (cmd != CmdEnd) return false;
    ack();
    m_phase = Phase::Idle;
    return true;
}

bool Exchanges::awaitingcts(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd == CmdDataRequest) {  // its length field means nothing to us
        ack();
        // Spoiled: the checksum's low byte, behind the packet's 4-byte head and its payload.
        if (const Bytes& data = m_items[m_itemindex].data; m_mis.wrongchecksumonce && data.size() >= 6) {
            Bytes spoiled(data.begin(), data.end() - 2);
            spoiled.push_back(static_cast<std::uint8_t>(data.end()[-2] + 1));
            spoiled.push_back(data.back());
            send(spoiled);
        } else {
            send(data);
        }
        m_phase = Phase::AwaitDataAck;
        return true;
    }
    if (cmd == CmdChecksumError || cmd == CmdSkip) {  // the computer declines: we stop quietly
        m_phase = Phase::Idle;
        return true;
    }
    return false;
}

bool Exchanges::awaitingdataack(std::uint8_t cmd) {
    if (cmd == CmdChecksumError) {
        send(m_items[m_itemindex].data);
        return true;
    }
    if (cmd != CmdAck) return false;
    if (++m_itemindex < m_items.size()) {
        if (m_listing)
            sendshort(CmdContinue);
        else
            send(m_items[m_itemindex].header);
        m_phase = Phase::AwaitCts;
    } else {
        sendshort(CmdEnd);
        m_items.clear();
        m_phase = Phase::Idle;
    }
    return true;
}

bool Exchanges::restoringblock(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd == CmdEnd) {  // no answer: the calculator takes its new memory
        takeimage();
        m_phase = Phase::Idle;
        return true;
    }
    const auto r = parserequest(m_in->data());
    if ((cmd == CmdVarHeader || cmd == CmdSendVar) && r && r->type == m_calc.model->backuptype) {
        ack();
        sendshort(CmdDataRequest);
        m_phase = Phase::RestoreData;
        return true;
    }
    return false;
}

bool Exchanges::restoringdata(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdData) return false;
    m_restoreimage.insert(m_restoreimage.end(), m_in->data().begin(), m_in->data().end());
    ack();
    m_phase = Phase::RestoreBlock;
    return true;
}

// The data packet holds four padding bytes and the stored bytes: a size word that counts
// the content after it, and no more than the header announced (and room was found for).
bool Exchanges::wholevariable() const {
    const auto d = m_in->data();
    if (d.size() < 6) return false;
    const std::size_t stored = d.size() - 4;
    return std::size_t(d[4] << 8 | d[5]) + 2 == stored && stored <= m_recvsize;
}

void Exchanges::takevariable() {
    const auto d = m_in->data();
    CalcVariable v{m_recvname, m_recvtype, Bytes(d.begin() + std::min<std::size_t>(4, d.size()), d.end()), m_recvlocked,
                   m_recvarchived};
    if (m_recvtypefromdata) v.type = storedtype(v.data);
    CalcFolder* f = m_calc.mem.folder(m_recvfolder);
    if (!f) {
        m_calc.mem.folders.push_back({m_recvfolder, {}});
        f = &m_calc.mem.folders.back();
    }
    bool replaced = false;
    for (auto& x : f->variables)
        if (x.name == v.name) {
            x = v;
            replaced = true;
        }
    if (!replaced) f->variables.push_back(std::move(v));
    m_calc.changed();
}

void Exchanges::takeimage() {
    // The computer's side ends with "Backup sent completely!" either way (a real TI-92
    // does not answer the end of a backup): the calculator itself must say when its
    // memory did not change, or the user would think it had.
    std::string notice;
    if (auto m = memoryfromimage(m_restoreimage)) {
        m_calc.mem = std::move(*m);
        m_calc.foreignimage.reset();
        m_calc.changed();
    } else {
        m_calc.foreignimage = m_restoreimage;
        notice = kForeignBackupNotice;
    }
    m_restoreimage.clear();
    if (m_calc.onnotice) m_calc.onnotice(notice);
}

// ---------------------------------------------------------------- exchanges the calculator starts

bool Exchanges::sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) {
    if (m_phase != Phase::Idle || m_wire.busy()) {
        if (error) *error = "the calculator is in the middle of an exchange";
        return false;
    }
    std::vector<Item> items;
    for (const auto& full : fullnames) {
        const std::string name = lowstring(full);
        const CalcVariable* v = m_calc.mem.find(name);
        if (!v) {
            if (error) *error = "no variable " + full;
            return false;
        }
        // Named with its folder, as the headers a calculator sends may be: the receiving
        // side files a bare name in main, so only this keeps another folder's variable in it.
        items.push_back(variableitem(splitname(withfolder(name)).folder, *v, true));
    }
    if (items.empty()) {
        if (error) *error = "nothing to send";
        return false;
    }
    m_items = std::move(items);
    startsending(false);
    m_wire.setpatient();
    return true;
}

void Exchanges::fcamerastream(int mode) {
    const CalcScreen& s = m_calc.currentscreen();
    const std::uint8_t head[5] = {'F', 0, 0, 0, static_cast<std::uint8_t>(mode)};
    send(head);
    send(s);
    if (mode == 2) {
        // The second plane: the tool bar in dark grey (first plane only), the history and
        // entry in black (both), the rules and the status line on light grey (second only).
        CalcScreen grey = s;
        const CalculatorModel& m = *m_calc.model;
        const auto rows = static_cast<std::size_t>(m.screenheight), rowbytes = m.screenrowbytes();
        for (std::size_t row = 0; row < rows; ++row)
            for (std::size_t i = 0; i < rowbytes; ++i) {
                if (row < kToolBarRows) grey[row * rowbytes + i] = 0x00;
                if (row == kToolBarRows || row == rows - kEntryRuleFromBottom || row >= rows - kStatusRuleFromBottom)
                    grey[row * rowbytes + i] = 0xFF;
            }
        send(grey);
    }
    m_wire.setpatient();
}

} // namespace tessaly
