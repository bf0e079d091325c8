#include "link/packets.h"

#include <string>
#include <vector>

namespace tessaly {

namespace {

void marktrace(Link& link, Direction dir, std::uint8_t command) {
    if (link.state().linkok && link.trace()) link.trace()->packet(dir, command);
}

std::uint16_t receiveword(Link& link) {
    const std::uint8_t low = link.receivebyte();
    return static_cast<std::uint16_t>(low | (link.receivebyte() << 8));
}

} // namespace

namespace {

// A byte of another model's calculator before any calculator answered: the link becomes that
// model only when a whole packet follows it, its command known and its checksum holding;
// else the byte was a stray one (line noise, the rest of a packet nobody read) and the
// bytes after it are looked at again. A packet taken stays to be read by the caller, one
// that makes a mismatch is read and dropped, so the calculator is not left half way.
Link::Machine learnmodel(Link& link, std::uint8_t machine) {
    const CalculatorModel& answering = *modelbymachine(machine);
    std::vector<std::uint8_t> rest{link.receivebyte()};
    const CommandInfo* info = commandinfo(rest[0]);
    bool whole = info != nullptr;
    if (whole) {
        for (int i = 0; i < 2; ++i) rest.push_back(link.receivebyte());
        const PacketHeader h{machine, rest[0], static_cast<std::uint16_t>(rest[1] | rest[2] << 8)};
        const std::size_t length = info->carriesdata ? datalength(answering, h) + 2 : 0;
        for (std::size_t i = 0; i < length && link.state().linkok; ++i) rest.push_back(link.receivebyte());
        whole = !info->carriesdata ||
                checksum(std::span(rest).subspan(3, length - 2)) == (rest[rest.size() - 2] | rest.back() << 8);
    }
    if (!link.state().linkok) return Link::Machine::NotOurs;
    if (!whole) {
        link.unread(rest);
        return Link::Machine::NotOurs;
    }
    const Link::Machine m = link.takemodel(answering);
    if (m == Link::Machine::Ours) link.unread(rest);
    return m;
}

} // namespace

bool seekmachinebyte(Link& link) {
    Clock& clock = link.clock();
    const std::uint32_t t0 = clock.ticks();
    bool intime = true;
    bool accepted = false;
    do {
        const std::uint8_t b = link.receivebyte();
        intime = clock.ticks() - t0 < kPacketWaitMs + link.patience();
        Link::Machine m = link.state().linkok ? link.acceptmachine(b) : Link::Machine::NotOurs;
        if (m == Link::Machine::Another) m = learnmodel(link, b);
        if (m == Link::Machine::Mismatch) {
            link.faillink(link.mismatch());
            return false;
        }
        accepted = m == Link::Machine::Ours;
    } while (!accepted && intime && link.state().linkok);
    return intime && link.state().linkok && accepted;
}

std::uint16_t checksum(std::span<const std::uint8_t> data) {
    std::uint16_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint16_t>(sum + b);
    return sum;
}

void sendpacket(Link& link, std::uint8_t command, std::uint16_t parameter) {
    link.sendbyte(link.model().pcmachine);
    link.sendbyte(command);
    link.sendword(parameter);
    link.flush();
    marktrace(link, Direction::ToCalc, command);
}

void sendpacket(Link& link, std::uint8_t command, std::span<const std::uint8_t> data, PacketWatcher* watcher) {
    const PacketHeader said{link.model().pcmachine, command, static_cast<std::uint16_t>(data.size())};
    if (datalength(link.model(), said) != data.size()) {
        link.faillink(kPacketTooLongText);
        return;
    }
    link.sendbyte(link.model().pcmachine);
    link.sendbyte(command);
    link.sendword(static_cast<std::uint16_t>(data.size()));
    for (std::size_t i = 0; i < data.size() && link.state().linkok; ++i) {
        link.sendbyte(data[i]);
        if (watcher) watcher->onbyte(i, data[i]);
    }
    link.sendword(checksum(data));
    link.flush();
    marktrace(link, Direction::ToCalc, command);
}

std::optional<PacketHeader> receiveheader(Link& link) {
    PacketHeader h;
    h.machine = link.receivebyte();
    h.command = link.receivebyte();
    h.length = receiveword(link);
    if (!link.state().linkok) return std::nullopt;
    return h;
}

std::optional<PacketHeader> seekheader(Link& link) {
    if (!seekmachinebyte(link)) return std::nullopt;
    PacketHeader h;
    h.machine = link.model().calcmachine;
    h.command = link.receivebyte();
    h.length = receiveword(link);
    if (!link.state().linkok) return std::nullopt;
    return h;
}

Packet receivebody(Link& link, const PacketHeader& header, PacketWatcher* watcher) {
    Packet p;
    p.header = header;
    const CommandInfo* info = commandinfo(header.command);
    p.known = info != nullptr;
    if (info && info->carriesdata) {
        const std::size_t length = datalength(link.model(), header);
        if (!watcher) p.data.reserve(length);
        std::uint16_t sum = 0;
        for (std::size_t i = 0; i < length && link.state().linkok; ++i) {
            const std::uint8_t b = link.receivebyte();
            if (!link.state().linkok) break;
            sum = static_cast<std::uint16_t>(sum + b);
            if (watcher)
                watcher->onbyte(i, b);
            else
                p.data.push_back(b);
        }
        // Once the link failed the checksum is not worth the acknowledgements it would cost.
        p.checksumok = link.state().linkok && receiveword(link) == sum;
    }
    p.complete = link.state().linkok;
    marktrace(link, Direction::FromCalc, header.command);
    // The grey cable may follow a refusal with a stray byte of its own; nothing else can
    // be on its way then, since the calculator waits for our answer.
    if (p.complete && header.command == CmdSkip) link.dropinput();
    return p;
}

Packet receivepacket(Link& link, PacketWatcher* watcher) {
    const std::optional<PacketHeader> header = receiveheader(link);
    if (!header) return Packet{};
    return receivebody(link, *header, watcher);
}

Packet receiveverified(Link& link, PacketWatcher* watcher) {
    Packet p = receivepacket(link, watcher);
    for (int tries = 1; tries < kPacketTries && p.complete && !p.checksumok; ++tries) {
        sendpacket(link, CmdChecksumError);
        if (watcher) watcher->restart();
        p = receivepacket(link, watcher);
    }
    return p;
}

void sendready(Link& link) { sendpacket(link, CmdReady); }
void sendack(Link& link) { sendpacket(link, CmdAck); }
void senddatarequest(Link& link) { sendpacket(link, CmdDataRequest); }

namespace {

std::optional<PacketHeader> awaitheader(Link& link) {
    const std::optional<PacketHeader> h = seekheader(link);
    if (h) marktrace(link, Direction::FromCalc, h->command);
    return h;
}

bool acknowledges(const std::optional<PacketHeader>& h) {
    return h && (h->command == CmdAck || h->command == CmdDataRequest);
}

std::string_view commandname(std::uint8_t code) {
    const CommandInfo* info = commandinfo(code);
    return info ? info->name : std::string_view("unknown packet");
}

void failexpectation(Link& link, std::uint8_t expected, const std::optional<PacketHeader>& got,
                     std::string_view failure) {
    if (!link.state().linkok) return;  // a timeout or a cancel already says why
    if (!failure.empty()) {
        link.faillink(failure);
    } else {
        std::string text(kUnexpectedAnswerText);
        text += got ? commandname(got->command) : std::string_view("none");
        text += " (expected: ";
        text += commandname(expected);
        text += ").";
        link.faillink(text);
    }
}

} // namespace

bool waitack(Link& link) { return acknowledges(awaitheader(link)); }

bool waitack(Link& link, std::uint16_t& parameter) {
    const std::optional<PacketHeader> h = awaitheader(link);
    parameter = h ? h->length : 0;
    return acknowledges(h);
}

bool expectack(Link& link, std::string_view failure) {
    const std::optional<PacketHeader> h = awaitheader(link);
    if (acknowledges(h)) return true;
    failexpectation(link, CmdAck, h, failure);
    return false;
}

bool expect(Link& link, std::uint8_t command, std::string_view failure) {
    const std::optional<PacketHeader> h = awaitheader(link);
    if (h && h->command == command && link.state().linkok) return true;
    failexpectation(link, command, h, failure);
    return false;
}

Packet expectpacket(Link& link, std::uint8_t command, std::string_view failure) {
    Packet p = receivepacket(link);
    if (!p.complete || p.command() != command) {
        failexpectation(link, command, p.complete ? std::optional(p.header) : std::nullopt, failure);
        p.complete = false;
    }
    return p;
}

// Written without a link-ok test, the data-request wait made a cancelled link spin for the
// whole 2000 ms; it stops at once instead, like the acknowledgement wait.
// Any other command ends the wait before its length bytes: they stay on the wire.
bool waitdatarequest(Link& link) {
    if (!seekmachinebyte(link) || link.receivebyte() != CmdDataRequest) return false;
    receiveword(link);
    marktrace(link, Direction::FromCalc, CmdDataRequest);
    return link.state().linkok;
}

} // namespace tessaly
