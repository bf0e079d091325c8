#include <filesystem>
#include <span>
#include <string_view>

#include "link/packets.h"
#include "vcalc/homescreen.h"
#include "vcalc/statefile.h"
#include "vcalc/vcalc.h"

namespace tessaly {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Driver and line encoding: bit 0 = line A, bit 1 = line B, set = released / high.
constexpr std::uint8_t kLineA = 1;
constexpr std::uint8_t kLineB = 2;
constexpr std::uint8_t kReleased = 3;

// A calculator gives up a bit the computer leaves hanging for longer than this.
constexpr std::uint64_t kBitPatienceMicros = 2'000'000;
// While waiting on the computer, the clock is looked at only every so many steps.
constexpr std::uint32_t kStallCheckSteps = 32;

constexpr std::size_t kBackupBlock = 1024;
constexpr std::string_view kRomVersion = "1.11";
constexpr std::size_t kDefaultCapacity = 70000;

// Uncertain: a TI-92 sending from its own menu names the variable with its folder.
// The receiving side then files it in the right folder; set false for bare names.
constexpr bool kCalcSendsFolder = true;

// The refusal the calculator answers a variable it will not take (locked, no room).
constexpr std::uint8_t kRefusal[] = {0x89, 0x36, 0x05, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x06, 0x00};
// The refusal for a requested variable that does not exist.
constexpr std::uint8_t kNoSuchVariable[] = {0x89, 0x36, 0x01, 0x00, 0x01, 0x01, 0x00};

std::string lowercase(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

} // namespace

struct VirtualTI92::Impl {
    explicit Impl(Clock& c) : clock(c) {
        out.reserve(16384);
        packet.reserve(70000);
    }

    // ---------------------------------------------------------------- state
    Clock& clock;
    CalcMemory mem;
    Misbehaviour mis;
    MemoryTrace trace;
    bool tracing = true;
    HomeScreen home;
    CalcScreen screen{};
    bool screendirty = true;
    std::size_t capacity = kDefaultCapacity;
    std::string statepath;
    std::string stateerror;

    // The bit engine.
    enum class Bit : std::uint8_t { Idle, RxAck, TxSignal, TxRelease };
    std::uint8_t pc = kReleased;    // the computer's drivers
    std::uint8_t calc = kReleased;  // ours
    Bit bit = Bit::Idle;
    std::uint8_t bitvalue = 0;      // the bit being moved
    std::uint8_t rxcount = 0, rxvalue = 0;
    std::uint8_t txcount = 0;
    // How often the computer read the idle lines since our last bit. A real calculator is
    // slow enough that a computer reading the lines twice to be sure (as ours does) sees
    // them idle both times; an instant one has to wait for both reads.
    std::uint8_t idlereads = 2;
    bool patient = false;           // the first bit of an exchange we started ourselves
    Bytes out;
    std::size_t outpos = 0;
    std::uint32_t pacemicros = 0;   // per line change; 0 = at once
    std::uint64_t readyat = 0;
    std::uint64_t lastmove = 0;
    std::uint32_t stallsteps = 0;
    std::size_t bytesin = 0, bytesout = 0;
    bool stopped = false;
    std::optional<std::uint64_t> slowsince;

    // Packet assembly.
    std::uint8_t head[4] = {};
    std::uint8_t headcount = 0;
    bool carries = false;
    Bytes packet;  // data, then the two checksum bytes
    std::size_t packetneed = 0;

    // The exchange in progress.
    enum class Phase : std::uint8_t {
        Idle,
        AwaitCts,      // we sent a header (or a continue): the computer acknowledges and asks for data
        AwaitDataAck,  // we sent data: the computer acknowledges it
        RecvData,      // we asked for a variable's data
        RecvEnd,       // we took it: the computer ends the transmission
        RestoreBlock,  // a backup comes in: block headers
        RestoreData,   // a backup comes in: block data
    };
    Phase phase = Phase::Idle;
    // Outgoing exchanges: each item a header packet (may be empty) and a data packet.
    struct Item {
        Bytes header;
        Bytes data;
    };
    std::vector<Item> items;
    std::size_t itemindex = 0;
    bool listing = false;  // a listing: one header, 78 between the entries
    // Incoming variable.
    std::string recvfolder, recvname;
    std::uint8_t recvtype = 0;
    Bytes restoreimage;
    std::optional<Bytes> foreignimage;  // a restored image we could not read, given back as it came

    // ---------------------------------------------------------------- wire
    bool dead() const { return mis.absent || stopped || mis.holdlow != Misbehaviour::Line::None; }

    std::uint8_t lines() {
        std::uint8_t v = dead() ? pc : pc & calc;
        if (mis.holdlow == Misbehaviour::Line::A) v &= static_cast<std::uint8_t>(~kLineA);
        if (mis.holdlow == Misbehaviour::Line::B) v &= static_cast<std::uint8_t>(~kLineB);
        if (v == kReleased && idlereads < 2) ++idlereads;
        return v;
    }

    bool busy() const { return bit != Bit::Idle || rxcount != 0 || outpos < out.size(); }

    // The computer let the bit engine hang too long: drop the bit and the exchange.
    bool stale(std::uint64_t now) const {
        if (!busy() || slowsince || patient) return false;
        return now - lastmove > kBitPatienceMicros;
    }

    void reset() {
        bit = Bit::Idle;
        idlereads = 0;
        calc = kReleased;
        rxcount = 0;
        txcount = 0;
        out.clear();
        outpos = 0;
        headcount = 0;
        packetneed = 0;
        phase = Phase::Idle;
        items.clear();
        slowsince.reset();
        patient = false;
    }

    // Called before every change of our lines: notices a hang and paces us.
    // Returns false when we may not move yet.
    bool maymove() {
        if (!pacemicros) {
            const std::uint64_t now = clock.micros();
            if (stale(now)) reset();
            lastmove = now;
            return true;
        }
        const std::uint64_t now = clock.micros();
        if (now < readyat) return false;
        if (stale(now)) reset();
        lastmove = now;
        readyat = now + pacemicros;
        return true;
    }

    void waiting() {
        if (++stallsteps < kStallCheckSteps) return;
        stallsteps = 0;
        if (busy() && stale(clock.micros())) reset();
    }

    void step() {
        if (dead()) return;
        switch (bit) {
        case Bit::Idle:
            if (pc == kReleased) {
                if (outpos < out.size()) {
                    if (idlereads >= 2 && slowok()) {
                        if (!maymove()) return;
                        if (outpos >= out.size()) return;  // a hang just dropped it
                        bitvalue = (out[outpos] >> txcount) & 1;
                        calc = bitvalue ? static_cast<std::uint8_t>(kReleased & ~kLineA)
                                        : static_cast<std::uint8_t>(kReleased & ~kLineB);
                        bit = Bit::TxSignal;
                    } else {
                        waiting();
                    }
                } else if (rxcount) {
                    waiting();
                }
                return;
            }
            if (pc == (kReleased & ~kLineA) || pc == (kReleased & ~kLineB)) {
                if (!maymove()) return;
                // A pulled means a 1, acknowledged on B; B pulled a 0, acknowledged on A.
                bitvalue = pc == (kReleased & ~kLineA) ? 1 : 0;
                calc = bitvalue ? static_cast<std::uint8_t>(kReleased & ~kLineB)
                                : static_cast<std::uint8_t>(kReleased & ~kLineA);
                bit = Bit::RxAck;
            }
            return;
        case Bit::RxAck:
            if (pc & (bitvalue ? kLineA : kLineB)) {
                if (!maymove()) return;
                if (bit != Bit::RxAck) return;
                calc = kReleased;
                bit = Bit::Idle;
                idlereads = 0;
                rxvalue = static_cast<std::uint8_t>((rxvalue >> 1) | (bitvalue << 7));
                if (++rxcount == 8) {
                    rxcount = 0;
                    bytein(rxvalue);
                }
            } else {
                waiting();
            }
            return;
        case Bit::TxSignal:
            if (!(pc & (bitvalue ? kLineB : kLineA))) {
                if (!maymove()) return;
                if (bit != Bit::TxSignal) return;
                calc = kReleased;
                bit = Bit::TxRelease;
                patient = false;
            } else {
                waiting();
            }
            return;
        case Bit::TxRelease:
            if (pc & (bitvalue ? kLineB : kLineA)) {
                bit = Bit::Idle;
                idlereads = 0;
                if (++txcount == 8) {
                    txcount = 0;
                    byteout(out[outpos++]);
                    if (outpos == out.size()) {
                        out.clear();
                        outpos = 0;
                    }
                }
            } else {
                waiting();
            }
            return;
        }
    }

    // A byte the misbehaviour says to hold back waits here before its first bit.
    bool slowok() {
        if (!mis.slowbyte || txcount != 0 || bytesout != mis.slowbyte->first) return true;
        const std::uint64_t now = clock.micros();
        if (!slowsince) slowsince = now;
        if (now - *slowsince < std::uint64_t{mis.slowbyte->second} * 1000) return false;
        lastmove = now;
        return true;
    }

    void counted() {
        if (mis.stopafterbytes && bytesin + bytesout >= *mis.stopafterbytes) {
            stopped = true;
            calc = kReleased;
            bit = Bit::Idle;
        }
    }

    void byteout(std::uint8_t b) {
        if (tracing) trace.byte(Direction::FromCalc, b);
        slowsince.reset();
        ++bytesout;
        counted();
    }

    void bytein(std::uint8_t b) {
        if (tracing) trace.byte(Direction::ToCalc, b);
        ++bytesin;
        counted();
        assemble(b);
    }

    // ---------------------------------------------------------------- packets
    void assemble(std::uint8_t b) {
        if (headcount < 4) {
            // A computer whose wait for us ran out still clocks its acknowledgement slots:
            // they arrive as FF bytes, which no packet starts with.
            if (headcount == 0 && b == 0xFF) return;
            head[headcount++] = b;
            if (headcount < 4) return;
            const CommandInfo* info = commandinfo(head[1]);
            carries = info && info->carriesdata;
            packet.clear();
            packetneed = carries ? std::size_t{head[2]} + 256u * head[3] + 2 : 0;
        } else {
            packet.push_back(b);
        }
        if (packet.size() < packetneed) return;
        headcount = 0;
        if (!mis.mute) dispatch();
    }

    std::span<const std::uint8_t> data() const { return {packet.data(), packet.size() - (carries ? 2 : 0)}; }
    std::uint16_t param() const { return static_cast<std::uint16_t>(head[2] | head[3] << 8); }

    void dispatch() {
        if (head[0] != kMachinePC) return;  // for another machine
        if (carries) {
            std::uint16_t sum = 0;
            for (auto b : data()) sum = static_cast<std::uint16_t>(sum + b);
            const auto n = packet.size();
            if (sum != (packet[n - 2] | packet[n - 1] << 8)) {
                sendshort(CmdChecksumError);  // and wait for it again
                return;
            }
        }
        if (phase != Phase::Idle && continueexchange()) return;
        phase = Phase::Idle;
        for (const auto& h : kStarts)
            if (h.command == head[1]) {
                (this->*h.handler)();
                return;
            }
    }

    void sendbytes(std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
    void sendshort(std::uint8_t command, std::uint16_t value = 0) {
        const std::uint8_t p[4] = {kMachineTI92, command, static_cast<std::uint8_t>(value & 0xFF),
                                   static_cast<std::uint8_t>(value >> 8)};
        sendbytes(p);
    }
    void ack() { sendshort(CmdAck); }

    Bytes makepacket(std::uint8_t command, const Bytes& payload) const {
        Bytes p{kMachineTI92, command, static_cast<std::uint8_t>(payload.size() & 0xFF),
                static_cast<std::uint8_t>(payload.size() >> 8)};
        p.insert(p.end(), payload.begin(), payload.end());
        std::uint16_t sum = 0;
        for (auto b : payload) sum = static_cast<std::uint16_t>(sum + b);
        if (mis.wrongchecksum && command == CmdData) sum = static_cast<std::uint16_t>(sum + 1);
        p.push_back(static_cast<std::uint8_t>(sum & 0xFF));
        p.push_back(static_cast<std::uint8_t>(sum >> 8));
        return p;
    }

    static Bytes headerdata(std::uint32_t size, std::uint8_t type, std::string_view name) {
        Bytes d{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24), type,
                static_cast<std::uint8_t>(name.size())};
        d.insert(d.end(), name.begin(), name.end());
        return d;
    }

    Item variableitem(const std::string& folder, const CalcVariable& v, bool withfolder) const {
        Bytes payload(4, 0);
        payload.insert(payload.end(), v.data.begin(), v.data.end());
        const std::string name = withfolder ? folder + "\\" + v.name : v.name;
        return {makepacket(CmdVarHeader, headerdata(static_cast<std::uint32_t>(v.data.size()), v.type, name)),
                makepacket(CmdData, payload)};
    }

    // The request names the variable; the header carries its name, folder and all.
    struct Request {
        std::uint32_t size = 0;
        std::uint8_t type = 0;
        std::string name;
    };
    std::optional<Request> request() const {
        // A backup header may stop after the type: no name at all.
        const auto d = data();
        if (d.size() < 5 || (d.size() > 5 && d.size() < 6u + d[5])) return std::nullopt;
        Request r;
        r.size = d[0] | d[1] << 8 | d[2] << 16 | static_cast<std::uint32_t>(d[3]) << 24;
        r.type = d[4];
        if (d.size() > 5) r.name.assign(reinterpret_cast<const char*>(d.data() + 6), d[5]);
        return r;
    }

    // ---------------------------------------------------------------- exchanges
    struct Start {
        std::uint8_t command;
        void (Impl::*handler)();
    };
    static const Start kStarts[6];

    void onready() {
        if (home.athome() && !mis.awayfromhome) ack();
    }

    void onscreen() {
        ack();
        const CalcScreen& s = currentscreen();
        Bytes payload(s.begin(), s.end());
        sendbytes(makepacket(CmdData, payload));
    }

    void onkey() {
        ack();
        if (home.presskey(param(), mem)) changed();
        screendirty = true;
    }

    void onrequest() {
        const auto r = request();
        if (!r) return;
        if (r->type == kTypeDirectory) return startlisting();
        if (r->type == kTypeBackup) return startbackup();
        CalcVariable* v = mem.find(lowercase(r->name));
        ack();
        if (!v) {
            sendbytes(kNoSuchVariable);
            return;
        }
        items.clear();
        items.push_back(variableitem({}, *v, false));
        startsending(false);
    }

    void startsending(bool list) {
        listing = list;
        itemindex = 0;
        sendbytes(items[0].header);
        phase = Phase::AwaitCts;
    }

    void startlisting() {
        ack();
        items.clear();
        auto entry = [this](const std::string& name, std::uint8_t type, bool locked, std::uint32_t size) {
            Bytes payload(4, 0);
            for (std::size_t i = 0; i < 8; ++i) payload.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
            payload.push_back(type);
            payload.push_back(locked ? 1 : 0);
            for (int s = 0; s < 32; s += 8) payload.push_back(static_cast<std::uint8_t>(size >> s));
            items.push_back({{}, makepacket(CmdData, payload)});
        };
        for (const auto& f : mem.folders) {
            entry(f.name, kTypeFolder, false, static_cast<std::uint32_t>(f.variables.size()));
            for (const auto& v : f.variables) entry(v.name, v.type, v.locked, static_cast<std::uint32_t>(v.data.size()));
        }
        // The header names the current folder; its size field is what a TI-92 sends.
        items[0].header = makepacket(CmdVarHeader, headerdata(14, 0x53, "main"));
        startsending(true);
    }

    void startbackup() {
        ack();
        const Bytes image = foreignimage ? *foreignimage : backupimage(mem);
        items.clear();
        for (std::size_t at = 0; at < image.size(); at += kBackupBlock) {
            const std::size_t n = std::min(kBackupBlock, image.size() - at);
            Bytes payload{0x00, 0x00, 0x1B, 0x00};
            payload.insert(payload.end(), image.begin() + static_cast<std::ptrdiff_t>(at),
                           image.begin() + static_cast<std::ptrdiff_t>(at + n));
            items.push_back({makepacket(CmdVarHeader, headerdata(static_cast<std::uint32_t>(n), kTypeBackup, kRomVersion)),
                             makepacket(CmdData, payload)});
        }
        startsending(false);
    }

    void onheader() {
        const auto r = request();
        if (!r) return;
        if (r->type == kTypeBackup) {
            ack();  // the announcement of the whole backup: no data request of its own
            restoreimage.clear();
            phase = Phase::RestoreBlock;
            return;
        }
        std::string name = lowercase(r->name);
        const auto slash = name.find('\\');
        recvfolder = slash == std::string::npos ? "main" : name.substr(0, slash);
        recvname = slash == std::string::npos ? name : name.substr(slash + 1);
        recvtype = r->type;
        CalcVariable* existing = mem.find(recvfolder + "\\" + recvname);
        // The size may count the 4 padding bytes or not; counting them errs on the safe side.
        const std::size_t incoming = r->size;
        const std::size_t used = mem.usedbytes() - (existing ? existing->data.size() : 0);
        ack();
        if (mis.refuseheaders || (existing && existing->locked) || recvname.empty() || recvname.size() > 8 ||
            recvfolder.empty() || recvfolder.size() > 8 || used + incoming > capacity) {
            sendbytes(kRefusal);
            return;
        }
        sendshort(CmdDataRequest);
        phase = Phase::RecvData;
    }

    bool continueexchange() {
        const std::uint8_t cmd = head[1];
        switch (phase) {
        case Phase::Idle:
            return false;
        case Phase::AwaitCts:
            if (cmd == CmdAck) return true;
            if (cmd == CmdDataRequest) {  // its length field means nothing to us
                ack();
                sendbytes(items[itemindex].data);
                phase = Phase::AwaitDataAck;
                return true;
            }
            if (cmd == CmdChecksumError || cmd == CmdSkip) {  // the computer declines: we stop quietly
                phase = Phase::Idle;
                return true;
            }
            return false;
        case Phase::AwaitDataAck:
            if (cmd == CmdChecksumError) {
                sendbytes(items[itemindex].data);
                return true;
            }
            if (cmd != CmdAck) return false;
            if (++itemindex < items.size()) {
                if (listing)
                    sendshort(CmdContinue);
                else
                    sendbytes(items[itemindex].header);
                phase = Phase::AwaitCts;
            } else {
                sendshort(CmdEnd);
                items.clear();
                phase = Phase::Idle;
            }
            return true;
        case Phase::RecvData:
            if (cmd == CmdAck) return true;
            if (cmd != CmdData) return false;
            takevariable();
            ack();
            phase = Phase::RecvEnd;
            return true;
        case Phase::RecvEnd:
            if (cmd != CmdEnd) return false;
            ack();
            phase = Phase::Idle;
            return true;
        case Phase::RestoreBlock:
            if (cmd == CmdAck) return true;
            if (cmd == CmdEnd) {  // no answer: the calculator takes its new memory
                takeimage();
                phase = Phase::Idle;
                return true;
            }
            if ((cmd == CmdVarHeader || cmd == CmdSendVar) && request() && request()->type == kTypeBackup) {
                ack();
                sendshort(CmdDataRequest);
                phase = Phase::RestoreData;
                return true;
            }
            return false;
        case Phase::RestoreData:
            if (cmd == CmdAck) return true;
            if (cmd != CmdData) return false;
            restoreimage.insert(restoreimage.end(), data().begin(), data().end());
            ack();
            phase = Phase::RestoreBlock;
            return true;
        }
        return false;
    }

    void takevariable() {
        const auto d = data();
        CalcVariable v{recvname, recvtype, Bytes(d.begin() + std::min<std::size_t>(4, d.size()), d.end()), false};
        CalcFolder* f = mem.folder(recvfolder);
        if (!f) {
            mem.folders.push_back({recvfolder, {}});
            f = &mem.folders.back();
        }
        bool replaced = false;
        for (auto& x : f->variables)
            if (x.name == v.name) {
                x = v;
                replaced = true;
            }
        if (!replaced) f->variables.push_back(std::move(v));
        changed();
    }

    void takeimage() {
        if (auto m = memoryfromimage(restoreimage)) {
            mem = std::move(*m);
            changed();
        } else {
            foreignimage = restoreimage;
        }
        restoreimage.clear();
    }

    void changed() {
        foreignimage.reset();
        screendirty = true;
        if (statepath.empty()) return;
        stateerror.clear();
        savecalcmemory(statepath, mem, &stateerror);
    }

    const CalcScreen& currentscreen() {
        if (screendirty) {
            home.render(screen);
            screendirty = false;
        }
        return screen;
    }
};

const VirtualTI92::Impl::Start VirtualTI92::Impl::kStarts[6] = {
    {CmdReady, &Impl::onready},     {CmdRequest, &Impl::onrequest}, {CmdVarHeader, &Impl::onheader},
    {CmdSendVar, &Impl::onheader},  {CmdScreen, &Impl::onscreen},   {CmdKey, &Impl::onkey},
};

// ---------------------------------------------------------------- public face

VirtualTI92::VirtualTI92(Clock& clock) : m_impl(std::make_unique<Impl>(clock)) {
    m_impl->mem.folders.push_back({"main", {}});
}
VirtualTI92::~VirtualTI92() = default;

CalcMemory& VirtualTI92::memory() { return m_impl->mem; }

bool VirtualTI92::attachstate(const std::string& path, std::string* error) {
    std::string why;
    if (!std::filesystem::exists(path)) {
        if (!savecalcmemory(path, m_impl->mem, &why)) {
            if (error) *error = why;
            return false;
        }
    } else {
        CalcMemory loaded;
        if (!loadcalcmemory(path, loaded, &why)) {
            if (error) *error = why;
            return false;
        }
        if (loaded.folders.empty() || loaded.folders.front().name != "main")
            loaded.folders.insert(loaded.folders.begin(), CalcFolder{"main", {}});
        m_impl->mem = std::move(loaded);
        m_impl->screendirty = true;
    }
    m_impl->statepath = path;
    return true;
}

void VirtualTI92::setpcdrivers(std::uint8_t pcdrivers) { m_impl->pc = pcdrivers & kReleased; }
std::uint8_t VirtualTI92::lines() { return m_impl->lines(); }
void VirtualTI92::step() { m_impl->step(); }

void VirtualTI92::disconnect() {
    Impl& d = *m_impl;
    d.pc = kReleased;
    // An exchange that program began goes with it: an answer it left unread would
    // otherwise collide with the next program's first packet. What we were told to send
    // from our own menu has not begun yet and still waits for whoever comes next.
    if (!d.patient) d.reset();
    if (!d.dead()) d.calc = kReleased;
    d.bit = Impl::Bit::Idle;
    d.rxcount = 0;
    d.txcount = 0;
    d.idlereads = 0;
}

void VirtualTI92::setpace(std::uint32_t bitspersecond) {
    // Two line changes of ours per bit.
    m_impl->pacemicros = bitspersecond ? std::max<std::uint32_t>(1, 500000 / bitspersecond) : 0;
}

Misbehaviour& VirtualTI92::misbehaviour() { return m_impl->mis; }

bool VirtualTI92::sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) {
    Impl& d = *m_impl;
    if (d.phase != Impl::Phase::Idle || d.busy()) {
        if (error) *error = "the calculator is in the middle of an exchange";
        return false;
    }
    std::vector<Impl::Item> items;
    for (const auto& full : fullnames) {
        const std::string name = lowercase(full);
        const CalcVariable* v = d.mem.find(name);
        if (!v) {
            if (error) *error = "no variable " + full;
            return false;
        }
        const auto slash = name.find('\\');
        items.push_back(d.variableitem(slash == std::string::npos ? "main" : name.substr(0, slash), *v, kCalcSendsFolder));
    }
    if (items.empty()) {
        if (error) *error = "nothing to send";
        return false;
    }
    d.items = std::move(items);
    d.startsending(false);
    d.patient = true;
    return true;
}

void VirtualTI92::fcamerastream(int mode) {
    Impl& d = *m_impl;
    const CalcScreen& s = d.currentscreen();
    const std::uint8_t head[5] = {'F', 0, 0, 0, static_cast<std::uint8_t>(mode)};
    d.sendbytes(head);
    d.sendbytes(s);
    if (mode == 2) {
        // The second plane: the tool bar in dark grey (first plane only), the history and
        // entry in black (both), the rules and the status line on light grey (second only).
        CalcScreen grey = s;
        for (std::size_t row = 0; row < 128; ++row)
            for (std::size_t i = 0; i < 30; ++i) {
                if (row < 10) grey[row * 30 + i] = 0x00;
                if (row == 10 || row == 108 || row >= 119) grey[row * 30 + i] = 0xFF;
            }
        d.sendbytes(grey);
    }
    d.patient = true;
}

void VirtualTI92::presskey(std::uint16_t code) {
    if (m_impl->home.presskey(code, m_impl->mem)) m_impl->changed();
    m_impl->screendirty = true;
}

const CalcScreen& VirtualTI92::screen() { return m_impl->currentscreen(); }
const MemoryTrace& VirtualTI92::trace() const { return m_impl->trace; }
void VirtualTI92::cleartrace() {
    m_impl->trace.clear();
    m_impl->bytesin = m_impl->bytesout = 0;
}
void VirtualTI92::settracing(bool on) { m_impl->tracing = on; }
bool VirtualTI92::athome() const { return m_impl->home.athome() && !m_impl->mis.awayfromhome; }
bool VirtualTI92::quiet() const { return !m_impl->busy() && m_impl->phase == Impl::Phase::Idle; }
void VirtualTI92::setmemorycapacity(std::size_t bytes) { m_impl->capacity = bytes; }
const std::string& VirtualTI92::stateerror() const { return m_impl->stateerror; }

// ---------------------------------------------------------------- port

VirtualPort::VirtualPort(VirtualTI92& calc, SimClock* simclock, std::uint32_t accessmicros)
    : m_calc(calc), m_simclock(simclock), m_accessmicros(accessmicros) {}

void VirtualPort::outport(std::uint16_t port, std::uint8_t value) {
    m_lastaddress = port;
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    m_calc.setpcdrivers(value);
    m_calc.step();
}

std::uint8_t VirtualPort::inport(std::uint16_t port) {
    m_lastaddress = port;
    ++m_accesses;
    if (m_simclock) m_simclock->advance(m_accessmicros);
    const std::uint8_t lines = m_calc.lines();
    m_calc.step();
    return static_cast<std::uint8_t>((lines & kLineA ? kStatusLineA : 0) | (lines & kLineB ? kStatusLineB : 0));
}

} // namespace tessaly
