#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/usbpackets.h"

namespace tessaly::usbwire {

// The packet fields the exchanges on the Titanium's USB port share: numbers big-endian, a
// name as its length then (when it has one) its bytes and a zero, attributes counted.
void putword(UsbBytes& b, std::uint16_t v);
void putlong(UsbBytes& b, std::uint32_t v);
void putname(UsbBytes& b, std::string_view s);
void putfullname(UsbBytes& b, const std::string& fullname);
void putattributes(UsbBytes& b, std::initializer_list<UsbAttribute> attributes);
UsbAttribute typeattribute(std::uint16_t id, std::uint8_t type);
UsbAttribute flag(std::uint16_t id, bool on);

// A variable header's fields; nullopt when the packet is cut short.
struct UsbEntry {
    std::string folder, name;
    std::uint8_t type = 0;
    std::uint32_t size = 0;
    bool archived = false, locked = false;
};
std::optional<UsbEntry> parseentry(const VirtualPacket& p);

// What came where an answer was due: the packet wanted, an error packet's code, or nothing
// (the link then failed with why). Delay acknowledgements are waited through.
struct Reply {
    bool ok = false;
    std::uint16_t error = 0;  // an error packet's code; 0 when the link failed
    std::optional<VirtualPacket> packet;
};
Reply awaitreply(Link& link, std::uint16_t wanted, std::uint32_t timeoutms = kAckBudgetMs);
// Whether an error packet refused only this one thing and the rest goes on; busy and flat
// batteries fail the link with their text.
bool refusesone(Link& link, const Reply& r);
bool sendeot(Link& link);

} // namespace tessaly::usbwire
