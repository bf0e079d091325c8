#include "transfers/directory.h"

#include <array>

#include "link/packets.h"
#include "link/typenames.h"

namespace tessaly {

namespace {
constexpr std::uint8_t kDirectoryRequest[] = {0x09, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x00, 0x19, 0x00};
constexpr std::uint8_t kReady[] = {0x09, 0x68, 0x00, 0x00};
// The listing's data request asks for "any length".
constexpr std::uint8_t kListDataRequest[] = {0x09, 0x09, 0xFF, 0xFF};
} // namespace

bool directorylisting(Link& link, const std::function<void(ListRow)>& addrow) {
    TransferState& s = link.state();
    auto rb = [&] { return link.receivebyte(); };

    link.sendstring(kReady);
    if (s.linkok && link.waitack()) link.sendstring(kDirectoryRequest);
    if (!(s.linkok && link.waitack())) {
        // An answer that is no acknowledgement leaves the link up; without a reason the
        // listing would just stop, and the user would never learn why.
        if (s.linkok) link.faillink(kNoAckText);
        return false;
    }

    // The calculator's header for the listing; nothing in it is needed.
    for (int i = 0; i < 9; ++i) rb();
    const std::uint8_t headernamelength = rb();
    for (int i = 0; i < headernamelength; ++i) rb();
    rb();
    rb();

    std::string folder;
    std::uint8_t last = 0;
    do {
        link.sendack();
        link.sendstring(kListDataRequest);
        if (!link.waitack()) continue;

        // Data packet: machine, command, length, the four zero bytes, then one entry.
        std::uint16_t sum = 0;
        for (int i = 0; i < 8; ++i) {
            const std::uint8_t b = rb();
            if (i >= 4) sum += b;
        }
        std::string name;
        for (int i = 0; i < 8; ++i) {
            const std::uint8_t c = rb();
            sum += c;
            if (c != 0) name += static_cast<char>(c);
        }
        const std::uint8_t type = rb();
        const std::uint8_t attribute = rb();
        std::uint32_t size = 0;
        sum += type + attribute;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = rb();
            sum += b;
            size |= std::uint32_t{b} << (8 * i);
        }
        const std::uint8_t checklow = rb();
        const std::uint16_t checksum = checklow | (rb() << 8);
        // A damaged entry would list a wrong name or size: better no row and a clear reason.
        if (s.linkok && checksum != sum) link.faillink(std::string(kDirectoryChecksumText) + name);
        if (!s.linkok) break;

        link.sendack();
        const std::array<std::uint8_t, 4> next{rb(), rb(), rb(), rb()};
        last = next[1];

        if (type == kTypeFolder) {
            folder = name;
        } else {
            addrow(ListRow{folder + "\\" + name, std::string(typename_of(type)), std::to_string(size)});
        }
    } while (last != CmdEnd && s.linkok);
    // The end of transmission goes unacknowledged.
    return true;
}

} // namespace tessaly
