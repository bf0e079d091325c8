#include "transfers/receive.h"

#include <algorithm>
#include <array>

#include "link/packets.h"
#include "link/typenames.h"

namespace tessaly {

void sendvariablerequest(Link& link, const RequestEntry& entry) {
    const auto n = static_cast<std::uint8_t>(entry.name.size());
    std::uint16_t sum = entry.type + n;
    for (char c : entry.name) sum += static_cast<std::uint8_t>(c);
    link.sendstring({kMachinePC, CmdRequest});
    link.sendword(n + 6);
    link.sendstring({0x00, 0x00, 0x00, 0x00, entry.type, n});
    link.sendstring(std::span(reinterpret_cast<const std::uint8_t*>(entry.name.data()), entry.name.size()));
    link.sendword(sum);
}

int receivevariable(Link& link, ReceiveTarget& target, bool first, std::string_view requestname) {
    TransferState& s = link.state();
    Shell& shell = target.shell;
    auto rb = [&] { return link.receivebyte(); };

    shell.processmessages();
    PackageStoreWriter writer(target.store);
    std::string error;
    if (!writer.open(first, &error)) {
        link.faillink(error);
        return 0;
    }

    std::array<std::uint8_t, 4> packet{rb(), rb(), rb(), rb()};
    std::uint8_t command = packet[1];
    int stored = 0;
    while (command == CmdVarHeader && s.linkok) {
        shell.setstatus(kGettingHeaderText);
        std::string name;
        for (int i = 0; i < 4; ++i) rb();  // the size; the data's own length word counts
        const std::uint8_t type = rb();
        const std::uint8_t namelength = rb();
        for (int i = 0; i < namelength; ++i) {
            const char c = static_cast<char>(rb());
            if (name.size() < kPackageNameSize) name += c;
        }
        if (!requestname.empty() && target.storefolder) name = requestname.substr(0, kPackageNameSize);
        rb();
        rb();
        link.sendack();
        link.senddatarequest();

        for (int i = 0; i < 4; ++i) rb();  // the calculator's acknowledge
        rb();
        const std::uint8_t datacommand = rb();
        rb();
        rb();
        std::uint16_t sum = 0;
        for (int i = 0; i < 4; ++i) sum += rb();

        const std::int64_t start = writer.dataposition();
        const std::uint8_t high = rb();
        const std::uint8_t low = rb();
        writer.writedata(high);
        writer.writedata(low);
        sum += high + low;
        const std::uint32_t length = high * 256u + low;
        target.addrow(ListRow{name, std::string(typename_of(type)), std::to_string(length + 2)});
        shell.setstatus("Transferring " + std::to_string(length) + " bytes of data");
        shell.setgaugemax(static_cast<int>(length));
        shell.setgaugeposition(0);

        // Whatever does not arrive whole leaves neither a record nor stray bytes behind.
        auto drop = [&] {
            writer.dropfrom(start);
            target.droprow();
        };
        if (datacommand != CmdData) {
            drop();
            break;
        }

        const std::uint32_t step = std::max<std::uint32_t>(1, (length / 100) * 2);
        for (std::uint32_t i = 1; i <= length && s.linkok; ++i) {
            const std::uint8_t b = rb();
            writer.writedata(b);
            sum += b;
            if (i % step == 1) {
                shell.setgaugeposition(static_cast<int>(i));
                shell.processmessages();
            }
        }
        const std::uint8_t checklow = rb();
        const std::uint16_t checksum = checklow | (rb() << 8);
        if (s.linkok && checksum != sum) link.faillink(std::string(kChecksumErrorText) + name);
        if (!s.linkok) {
            drop();
            break;
        }

        link.sendack();
        packet = {rb(), rb(), rb(), rb()};
        command = packet[1];
        if (!target.manual) link.sendack();  // acknowledges the end of transmission

        shell.setgaugeposition(static_cast<int>(length));
        const std::int64_t end = writer.dataposition();
        if (!writer.appendrecord(PackageRecord{name, static_cast<std::int32_t>(start), static_cast<std::int32_t>(end),
                                               static_cast<std::int32_t>(length + 2), type})) {
            // A full or vanished disk: the variable cannot be kept, and neither can any after it.
            drop();
            link.faillink(writer.error());
            break;
        }
        ++stored;
        if (!target.manual) break;
    }

    // Anything else than a header (a refusal of an unknown name, say) is read to its end,
    // so the next exchange starts on a quiet line.
    const CommandInfo* other = commandinfo(command);
    if (s.linkok && command != CmdVarHeader && other && other->carriesdata) {
        const std::size_t rest = packet[2] + 256u * packet[3] + 2;
        for (std::size_t i = 0; i < rest && s.linkok; ++i) rb();
    }

    if (!writer.close(&error) && s.linkok) link.faillink(error);
    return stored;
}

} // namespace tessaly
