// Flash on the later models: applications and systems taken block by block and checked
// only once whole, applications, the certificate, the ID list and the clock sent on request,
// and the boot code's wait for a system after a system transfer broke off.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>

#include "files/flashfile.h"
#include "files/varname.h"
#include "link/byteorder.h"
#include "link/packets.h"
#include "vcalc/exchanges.h"
#include "vcalc/flashseal.h"

namespace tessaly {

namespace {


// Types only a request names: the certificate is asked for under its own code.
constexpr std::uint8_t kCertificateRequest = 0x20;
constexpr std::uint8_t kIdListType = 0x22;
constexpr std::uint8_t kClockType = 0x18;

// Fields of a Flash part's data, as they are written; read, their size nibble may differ.
// A system's data begins with its header field 800F, an application's with 810F.
constexpr std::uint16_t kHeaderField = 0x800F, kApplicationHeaderField = 0x810F;
constexpr std::uint16_t kDeviceField = 0x8010, kNameField = 0x8040, kPayloadField = 0x8070, kSealField = 0x020D,
                        kCertificateField = 0x0330;
constexpr std::size_t kSealBytes = 64;
constexpr std::size_t kFlashBlock = 65536;
constexpr std::size_t kMostFlash = 4 << 20;
constexpr std::size_t kClockBytes = 16;

// The ID list's data after its 4 leading zero bytes: a word, the length of the text, the text.
constexpr std::uint8_t kIdListHead[] = {0x01, 0x00, 0x0E, 0x00};

bool isfield(const FlashField& f, std::uint16_t id) { return (f.id & 0xFFF0) == (id & 0xFFF0); }

// What the calculator learns from a part before it writes it: the device and hardware it is
// for, the name it carries, and where its seal field starts (the part's end otherwise).
struct PartCheck {
    bool wellformed = false;
    std::uint8_t device = 0, hardware = 0;
    std::string name;
    std::size_t sealat = 0;
};

PartCheck checkpart(std::span<const std::uint8_t> data) {
    PartCheck c;
    const auto head = readflashfield(data, 0);
    if (!head || (!isfield(*head, kHeaderField) && !isfield(*head, kApplicationHeaderField))) return c;
    bool device = false;
    for (std::size_t at = head->offset; at < head->offset + head->size;) {
        const auto f = readflashfield(data.first(head->offset + head->size), at);
        if (!f) return c;
        if (isfield(*f, kDeviceField) && f->size >= 2) {
            c.device = data[f->offset];
            c.hardware = data[f->offset + 1];
            device = true;
        } else if (isfield(*f, kNameField)) {
            for (std::size_t i = 0; i < std::min<std::size_t>(f->size, 8) && data[f->offset + i] != 0; ++i)
                c.name += static_cast<char>(data[f->offset + i]);
        }
        at = f->offset + f->size;
    }
    // The seal closes the part; anything after it would go unchecked.
    for (std::size_t at = head->offset + head->size; at < data.size();) {
        const auto f = readflashfield(data, at);
        if (!f) return c;
        if (isfield(*f, kSealField) && f->size == kSealBytes && f->offset + f->size == data.size()) {
            c.sealat = at;
            c.wellformed = device;
            return c;
        }
        at = f->offset + f->size;
    }
    return c;
}

bool sealed(std::span<const std::uint8_t> data, const PartCheck& c) {
    const auto want = flashseal(data.first(c.sealat));
    const auto got = data.subspan(data.size() - kSealBytes);
    return want.size() == got.size() && std::equal(want.begin(), want.end(), got.begin());
}

// The certificate every virtual calculator holds: one field of a few hundred bytes.
Bytes certificate(const CalculatorModel& model) {
    Bytes content;
    for (std::size_t i = 0; i < 300; ++i) content.push_back(static_cast<std::uint8_t>(model.hardwareid * 31 + i * 7));
    return flashfield(kCertificateField, content);
}

// The time of day the clock shows: the host's UTC time plus the offset the last set left.
Bytes clockbytes(const CalcFlash& flash) {
    const std::time_t now = std::time(nullptr) + static_cast<std::time_t>(flash.clockoffset);
    std::tm t{};
    gmtime_r(&now, &t);
    const int year = t.tm_year + 1900;
    Bytes b(6, 0);
    b.push_back(static_cast<std::uint8_t>(year >> 8));
    b.push_back(static_cast<std::uint8_t>(year));
    for (int v : {t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec})
        b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(flash.dateformat);
    b.push_back(flash.timeformat);
    b.push_back(0xFF);
    return b;
}

// The offset that makes the clock show these 16 bytes now; false when they name no time.
bool setclockfrom(CalcFlash& flash, std::span<const std::uint8_t> b) {
    if (b.size() != kClockBytes) return false;
    const int year = b[6] << 8 | b[7];
    const int month = b[8], day = b[9], hour = b[10], minute = b[11], second = b[12];
    const int dateformat = b[13], timeformat = b[14];
    if (year < 1997 || year > 2132 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59 || dateformat < 1 || dateformat > 8 || (timeformat != 12 && timeformat != 24))
        return false;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    const std::time_t shown = timegm(&t);
    // 31 February and the like roll over into another day: no such date.
    if (t.tm_mday != day) return false;
    flash.clockoffset = static_cast<std::int64_t>(shown) - static_cast<std::int64_t>(std::time(nullptr));
    flash.dateformat = static_cast<std::uint8_t>(dateformat);
    flash.timeformat = static_cast<std::uint8_t>(timeformat);
    return true;
}

} // namespace

std::uint8_t CalcFlash::flashrevision(const CalculatorModel& model) const {
    if (!upgraded()) return 0x00;
    if (os == std::array<std::uint8_t, 2>{model.release.os[0], model.release.os[1]}) return model.release.flashrevision;
    // Known are 04 for 2.05 and 0C for 2.08; anything upgraded only has to answer above 00.
    if (os[0] == 2 && os[1] < 8) return 0x04;
    if (os[0] == 2) return static_cast<std::uint8_t>(0x0C + (os[1] - 8));
    return 0x10;
}

bool CalcFlash::hasclock(const CalculatorModel& model) const {
    const bool recent = os[0] > 2 || (os[0] == 2 && os[1] >= 8);
    return recent && hardwarerevision + model.hardwarefirst >= 2;
}

std::size_t CalcFlash::applicationbytes() const {
    std::size_t n = 0;
    for (const CalcApplication& a : applications) n += a.data.size();
    return n;
}

CalcApplication* CalcFlash::application(std::string_view name) {
    for (CalcApplication& a : applications)
        if (a.name == name) return &a;
    return nullptr;
}

std::optional<CalcApplication> demoapplication(const CalculatorModel& model) {
    if (model.flashdevice == 0) return std::nullopt;
    const std::string name = "demoapp";
    Bytes header = flashfield(kDeviceField, std::vector<std::uint8_t>{model.flashdevice, 0x00});
    const Bytes namefield = flashfield(kNameField, Bytes(name.begin(), name.end()));
    header.insert(header.end(), namefield.begin(), namefield.end());
    Bytes data = flashfield(kApplicationHeaderField, header);
    Bytes payload;
    for (std::size_t i = 0; i < 4096; ++i) payload.push_back(static_cast<std::uint8_t>(i * 13 + 7));
    const Bytes payloadfield = flashfield(kPayloadField, payload);
    data.insert(data.end(), payloadfield.begin(), payloadfield.end());
    const auto seal = flashseal(data);
    const Bytes sealfield = flashfield(kSealField, Bytes(seal.begin(), seal.end()));
    data.insert(data.end(), sealfield.begin(), sealfield.end());
    return CalcApplication{name, std::move(data)};
}

std::size_t flashroomfor(const CalcState& calc, const std::string& replacing) {
    const CalculatorModel& model = *calc.model;
    std::size_t archived = 0;
    for (const CalcFolder& f : calc.mem.folders)
        for (const CalcVariable& v : f.variables)
            if (v.archived) archived += v.data.size();
    std::size_t same = 0;
    for (const CalcApplication& a : calc.flash.applications)
        if (!replacing.empty() && a.name == replacing) same = a.data.size();
    return model.flashroom - std::min(model.flashroom, archived + calc.flash.applicationbytes() - same);
}

// The whole part is checked as the calculator does it: for this model, sealed, room for it.
// A refused application takes the copy of the same name with it, as its Flash was being
// written over.
std::uint8_t takeflashpart(CalcState& calc, std::uint8_t type, const std::string& requested, Bytes data) {
    const CalculatorModel& model = *calc.model;
    CalcFlash& flash = calc.flash;
    const PartCheck c = checkpart(data);
    std::uint8_t refusal = 0;
    if (!c.wellformed)
        refusal = model.refusal.badsignature;
    else if (c.device != model.flashdevice || (c.hardware != 0 && c.hardware != model.hardwareid))
        refusal = model.refusal.othermodel;
    else if (!sealed(data, c))
        refusal = model.refusal.badsignature;
    const std::optional<std::array<std::uint8_t, 2>> version =
        type == kFlashOs && refusal == 0 ? flashosversion(data) : std::nullopt;
    if (type == kFlashOs && refusal == 0 && (!version || (*version)[0] < 2)) refusal = model.refusal.badsignature;
    const std::string name = c.name.empty() ? requested : lowstring(c.name);
    if (type == kFlashApplication) {
        std::erase_if(flash.applications, [&](const CalcApplication& a) { return a.name == requested || a.name == name; });
        const bool printable =
            std::all_of(name.begin(), name.end(), [](char ch) { return std::isgraph(static_cast<unsigned char>(ch)); });
        if (refusal == 0 && (!holdablename(name) || !printable)) refusal = model.refusal.badname;
        if (refusal == 0 && flash.applicationbytes() + data.size() > model.flashroom) refusal = model.refusal.noroom;
        if (refusal == 0) flash.applications.push_back({name, std::move(data)});
    } else if (refusal == 0) {
        flash.os = *version;
        flash.waiting = false;
    }
    calc.flashchanged();
    return refusal;
}

// ---------------------------------------------------------------- waiting for a system

// While the boot code waits for a system it answers a ready check and takes a system;
// everything else is refused, so no program mistakes it for a working calculator.
bool Exchanges::waitingrefusal() {
    if (!m_calc.flash.waiting) return false;
    const std::uint8_t cmd = m_in->command();
    if (cmd == CmdReady) return false;
    if (cmd == CmdVarHeader || cmd == CmdSendVar) {
        const auto r = parserequest(m_in->data());
        if (r && r->type == kFlashOs) return false;
    }
    refuse(m_calc.model->refusal.waitingforsystem);
    return true;
}

// ---------------------------------------------------------------- the calculator sends

bool Exchanges::flashrequest(const Request& r) {
    const CalculatorModel& model = *m_calc.model;
    if (model.flashdevice == 0) return false;
    CalcFlash& flash = m_calc.flash;
    const bool idlist = r.type == kIdListType && r.name.empty();
    const bool certificate = r.type == kCertificateRequest && r.name.empty();
    const bool application = r.type == kFlashApplication;
    const bool clock = r.type == kClockType;
    if (!idlist && !certificate && !application && !clock) return false;
    ack();
    const CalcApplication* app = application ? flash.application(lowstring(r.name)) : nullptr;
    if ((!flash.upgraded() && !clock) || (clock && !flash.hasclock(model)) || (application && !app)) {
        refuse(model.refusal.nosuchvariable);
        return true;
    }
    if (clock) {
        sendclock();
        return true;
    }
    m_items.clear();
    if (idlist) {
        Bytes payload(4, 0);
        payload.insert(payload.end(), std::begin(kIdListHead), std::end(kIdListHead));
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string text = {kHex[model.hardwareid >> 4], kHex[model.hardwareid & 0x0F]};
        text += "069D1BA3FFAB";
        payload.insert(payload.end(), text.begin(), text.end());
        m_items.push_back({header(static_cast<std::uint32_t>(payload.size() - 4), kIdListType, ""), datapacket(payload)});
        startsending(false);
        return true;
    }
    // An application goes in 64 KiB blocks with CNT between them; the certificate is one
    // block of four leading bytes and its field.
    Bytes data = certificate ? Bytes(4, 0) : Bytes{};
    const Bytes body = certificate ? tessaly::certificate(model) : app->data;
    data.insert(data.end(), body.begin(), body.end());
    const std::uint8_t type = certificate ? kFlashCertificate : kFlashApplication;
    for (std::size_t at = 0; at < data.size() || at == 0; at += kFlashBlock) {
        const std::size_t n = std::min(kFlashBlock, data.size() - at);
        m_items.push_back({{}, datapacket(std::span<const std::uint8_t>(data).subspan(at, n))});
        if (n == 0) break;
    }
    m_items[0].header = header(static_cast<std::uint32_t>(data.size()), type, certificate ? "" : app->name);
    startsending(true);
    return true;
}

void Exchanges::sendclock() {
    m_items.clear();
    m_items.push_back({header(kClockBytes, kClockType, ""), datapacket(clockbytes(m_calc.flash))});
    startsending(false);
}

// ---------------------------------------------------------------- the calculator takes

bool Exchanges::flashheader(const Request& r) {
    const CalculatorModel& model = *m_calc.model;
    if (model.flashdevice == 0) return false;
    CalcFlash& flash = m_calc.flash;
    if (r.type == kClockType) {
        ack();
        if (!flash.hasclock(model)) {
            refuse(model.refusal.nosuchvariable);
        } else {
            sendshort(CmdDataRequest);
            m_phase = Phase::ClockData;
        }
        return true;
    }
    if (r.type != kFlashApplication && r.type != kFlashOs) return false;
    ack();
    // The longer form of a system's request names the hardware it is for.
    const auto d = m_in->data();
    const bool otherhardware = r.type == kFlashOs && d.size() >= 9 && d[6] == 0x08 && d[8] != model.hardwareid;
    const std::size_t room = flashroomfor(m_calc, r.type == kFlashApplication ? lowstring(r.name) : std::string());
    if ((r.type == kFlashApplication && !flash.upgraded()) || otherhardware) {
        refuse(model.refusal.othermodel);
    } else if (r.type == kFlashApplication && r.size > room) {
        refuse(model.refusal.noroom);
    } else {
        m_flashtype = r.type;
        m_flashname = lowstring(r.name);
        m_flashsize = r.size;
        m_flashdata.clear();
        // From the first block on the old system is being erased: broken off, the calculator
        // is left waiting for a system.
        if (r.type == kFlashOs && !flash.waiting) {
            flash.waiting = true;
            m_calc.flashchanged();
        }
        sendshort(CmdDataRequest);
        m_phase = Phase::FlashBlock;
    }
    return true;
}

bool Exchanges::takingflashblock(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdData) return false;
    const auto d = m_in->data();
    // More than the largest Flash holds is no part the calculator can write; a part longer or
    // shorter than announced is left to the seal to judge.
    if (m_flashdata.size() + d.size() > kMostFlash) {
        refuse(m_flashtype == kFlashOs ? m_calc.model->refusal.badsignature : m_calc.model->refusal.noroom);
        m_flashdata.clear();
        m_phase = Phase::Idle;
        return true;
    }
    m_flashdata.insert(m_flashdata.end(), d.begin(), d.end());
    ack();
    m_phase = Phase::FlashNext;
    return true;
}

bool Exchanges::flashcontinues(std::uint8_t cmd) {
    if (cmd == CmdContinue) {
        ack();
        sendshort(CmdDataRequest);
        m_phase = Phase::FlashBlock;
        return true;
    }
    if (cmd != CmdEnd) return false;
    m_phase = Phase::Idle;
    endflash();
    return true;
}

void Exchanges::endflash() {
    const std::uint8_t refusal = takeflashpart(m_calc, m_flashtype, m_flashname, std::move(m_flashdata));
    m_flashdata.clear();
    if (refusal != 0)
        refuse(refusal);
    else
        ack();
}

bool Exchanges::takingclock(std::uint8_t cmd) {
    if (cmd == CmdAck) return true;
    if (cmd != CmdData) return false;
    if (!setclockfrom(m_calc.flash, m_in->data())) {
        refuse(m_calc.model->refusal.badname);
        m_phase = Phase::Idle;
        return true;
    }
    m_calc.flashchanged();
    ack();
    m_phase = Phase::RecvEnd;
    return true;
}

} // namespace tessaly
