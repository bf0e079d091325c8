#include "transfers/remotekeys.h"
#include "transfers/usbexchanges.h"

#include <charconv>

#include "link/byteorder.h"
#include "link/packets.h"

namespace tessaly {

namespace {

struct KeyEntry {
    unsigned index;
    std::uint16_t code;
};

// The two tables as the calculator's key codes; every other entry is 0.
constexpr KeyEntry kCharKeys[] = {{8, 257}, {27, 264}};
constexpr KeyEntry kVirtualKeys[] = {
    {vk::PageUp, 266}, {vk::PageDown, 263}, {vk::End, 258},     {vk::Home, 265},   {vk::Left, 337},
    {vk::Up, 338},     {vk::Right, 340},    {vk::Down, 344},    {vk::Insert, 4353}, {vk::Delete, 8449},
    {112, 268},        {113, 269},          {114, 270},         {115, 271},        {116, 272},
    {117, 273},        {118, 274},          {119, 275},
};

template <std::size_t N>
constexpr std::array<std::uint16_t, 256> filled(const KeyEntry (&entries)[N]) {
    std::array<std::uint16_t, 256> table{};
    for (const KeyEntry& e : entries) table[e.index] = e.code;
    return table;
}
constexpr auto kCharTable = filled(kCharKeys);
constexpr auto kVirtualTable = filled(kVirtualKeys);


// The remote keyboard's own acknowledgement wait: bytes before the calculator's machine
// byte are dropped for up to 2 s; a command other than an acknowledgement or a data
// request ends the wait before its length bytes, which stay on the wire.
bool waitkeyack(Link& link) {
    TransferState& s = link.state();
    if (!seekmachinebyte(link)) return false;
    const std::uint8_t command = link.receivebyte();
    if (!s.linkok || (command != CmdAck && command != CmdDataRequest)) return false;
    link.receivebyte();
    link.receivebyte();
    if (s.linkok && link.trace()) link.trace()->packet(Direction::FromCalc, command);
    return s.linkok;
}

} // namespace

std::uint16_t charkeycode(unsigned char c) { return kCharTable[c] ? kCharTable[c] : c; }

std::optional<std::uint16_t> typedkeycode(char32_t c) {
    if (c > 0xFF) return std::nullopt;
    return charkeycode(static_cast<unsigned char>(c));
}

std::uint16_t virtualkeycode(unsigned key) { return key < kVirtualTable.size() ? kVirtualTable[key] : 0; }

std::optional<std::uint16_t> keybyname(std::string_view name, const CalculatorModel& model) {
    std::string up;
    for (char c : name) up += upchar(c);
    if (const std::uint16_t code = model.key(up)) return code;
    for (const CalculatorModel* m : allmodels())
        if (const std::uint16_t code = m->key(up)) return code;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), value);
    if (ec != std::errc() || end != name.data() + name.size() || name.empty() || value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string keynames() {
    std::string out;
    for (const KeyInfo& k : kTI92.keys) {
        if (!out.empty()) out += ' ';
        out += k.name;
    }
    return out + " CATALOG (TI-89)";
}

bool keydependsonmodel(std::string_view name) {
    const auto code = keybyname(name, kTI92);
    for (const CalculatorModel* m : allmodels())
        if (keybyname(name, *m) != code) return true;
    return false;
}

bool sendkey(Link& link, std::uint16_t code) {
    if (link.directusb()) return usbkey(link, code);
    sendpacket(link, CmdKey, code);
    while (link.state().linkok) {
        link.pump().processmessages();
        if (waitkeyack(link)) return true;
    }
    return false;
}

void RemoteKeyboard::reset() {
    // A running sendkeys owns its queue; a window shown again meanwhile leaves it be.
    if (m_sending) return;
    m_queue.clear();
    // Raising the link-ok flag under a running transfer would undo its failure or Cancel.
    if (!m_link.state().busy) m_link.state().linkok = true;
}

void RemoteKeyboard::press(std::uint16_t code) {
    m_queue.push_back(code);
    flush();
}

void RemoteKeyboard::flush() {
    // A running sendkeys takes what is appended; a transfer of the main window keeps
    // the keys back, so none crosses its packets.
    if (m_sending || m_queue.empty() || m_link.state().busy) return;
    m_link.state().linkok = true;
    sendkeys();
}

void RemoteKeyboard::sendkeys() {
    TransferState& s = m_link.state();
    Clock& clock = m_link.clock();
    s.busy = true;
    m_sending = true;
    const bool remote = m_link.remote();
    m_link.setremote(true);
    while (!m_queue.empty()) {
        const std::uint32_t t0 = clock.ticks();
        while (clock.ticks() - t0 <= kKeySpacingMs) {
            m_link.pump().processmessages();
            clock.sleep(1);
        }
        sendkey(m_link, m_queue.front());
        m_queue.pop_front();
        if (!s.linkok) break;
    }
    // A failed key drops the rest; the next key release starts anew.
    m_queue.clear();
    m_link.setremote(remote);
    m_sending = false;
    s.busy = false;
}

} // namespace tessaly
