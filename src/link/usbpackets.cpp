#include "link/usbpackets.h"

#include <algorithm>
#include <cstdio>

#include "link/packets.h"

namespace tessaly {

namespace {

void putbe32(UsbBytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t be32(std::span<const std::uint8_t> bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

constexpr std::size_t kVirtualHeaderSize = 6;

} // namespace

UsbBytes rawbytes(const RawPacket& packet) {
    UsbBytes out;
    out.reserve(kRawHeaderSize + packet.payload.size());
    putbe32(out, static_cast<std::uint32_t>(packet.payload.size()));
    out.push_back(static_cast<std::uint8_t>(packet.type));
    out.insert(out.end(), packet.payload.begin(), packet.payload.end());
    return out;
}

std::optional<RawPacket> parseraw(std::span<const std::uint8_t> bytes, std::uint32_t buffersize, std::string* error) {
    auto fail = [&](std::string why) -> std::optional<RawPacket> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (bytes.size() < kRawHeaderSize)
        return fail("The calculator sent a USB packet cut short (" + std::to_string(bytes.size()) + " bytes).");
    const std::uint32_t length = be32(bytes);
    // A length past the buffer both sides agreed on is a garbled header: trusting it would
    // wait for bytes that never come.
    if (length > buffersize)
        return fail("The calculator sent a USB packet of " + std::to_string(length) +
                    " bytes, more than the agreed buffer size of " + std::to_string(buffersize) + ".");
    if (bytes.size() - kRawHeaderSize < length)
        return fail("The calculator sent a USB packet cut short (" + std::to_string(bytes.size() - kRawHeaderSize) +
                    " of " + std::to_string(length) + " bytes).");
    if (bytes.size() - kRawHeaderSize > length)
        return fail("The calculator sent " + std::to_string(bytes.size() - kRawHeaderSize - length) +
                    " bytes past the end of a USB packet.");
    const std::uint8_t type = bytes[4];
    if (type < static_cast<std::uint8_t>(RawType::BufferSizeRequest) || type > static_cast<std::uint8_t>(RawType::Ack))
        return fail("The calculator sent a USB packet of unknown type " + std::to_string(type) + ".");
    return RawPacket{static_cast<RawType>(type), UsbBytes(bytes.begin() + kRawHeaderSize, bytes.end())};
}

std::vector<RawPacket> splitvirtual(const VirtualPacket& packet, std::uint32_t buffersize) {
    UsbBytes whole;
    whole.reserve(kVirtualHeaderSize + packet.data.size());
    putbe32(whole, static_cast<std::uint32_t>(packet.data.size()));
    whole.push_back(static_cast<std::uint8_t>(packet.type >> 8));
    whole.push_back(static_cast<std::uint8_t>(packet.type & 0xFF));
    whole.insert(whole.end(), packet.data.begin(), packet.data.end());
    // A buffer too small for the header would never finish a packet.
    const std::size_t piece = std::max<std::size_t>(buffersize, kVirtualHeaderSize);
    std::vector<RawPacket> pieces;
    for (std::size_t at = 0; at < whole.size(); at += piece) {
        const std::size_t end = std::min(whole.size(), at + piece);
        pieces.push_back({end == whole.size() ? RawType::VirtualLast : RawType::VirtualMore,
                          UsbBytes(whole.begin() + std::ptrdiff_t(at), whole.begin() + std::ptrdiff_t(end))});
    }
    return pieces;
}

std::optional<VirtualPacket> VirtualAssembler::take(const RawPacket& piece) {
    auto fail = [&](std::string why) -> std::optional<VirtualPacket> {
        m_error = std::move(why);
        m_buffer.clear();
        return std::nullopt;
    };
    m_error.clear();
    if (piece.type != RawType::VirtualMore && piece.type != RawType::VirtualLast)
        return fail("The calculator sent a USB packet of type " + std::to_string(int(piece.type)) +
                    " where a piece of a virtual packet was due.");
    m_buffer.insert(m_buffer.end(), piece.payload.begin(), piece.payload.end());
    const bool last = piece.type == RawType::VirtualLast;
    if (m_buffer.size() < kVirtualHeaderSize) {
        if (!last) return std::nullopt;
        return fail("The calculator sent a virtual packet cut short (" + std::to_string(m_buffer.size()) +
                    " bytes, not even its header).");
    }
    const std::uint32_t size = be32(m_buffer);
    const std::size_t have = m_buffer.size() - kVirtualHeaderSize;
    if (have > size)
        return fail("The calculator sent a virtual packet longer than its size of " + std::to_string(size) + " bytes.");
    if (!last) return std::nullopt;
    if (have < size)
        return fail("The calculator sent a virtual packet cut short (" + std::to_string(have) + " of " +
                    std::to_string(size) + " bytes).");
    VirtualPacket packet{static_cast<std::uint16_t>(m_buffer[4] << 8 | m_buffer[5]),
                         UsbBytes(m_buffer.begin() + kVirtualHeaderSize, m_buffer.end())};
    m_buffer.clear();
    return packet;
}

UsbBytes parameterrequest(std::span<const std::uint16_t> ids) {
    UsbBytes out{static_cast<std::uint8_t>(ids.size() >> 8), static_cast<std::uint8_t>(ids.size() & 0xFF)};
    for (std::uint16_t id : ids) {
        out.push_back(static_cast<std::uint8_t>(id >> 8));
        out.push_back(static_cast<std::uint8_t>(id & 0xFF));
    }
    return out;
}

UsbBytes parameterbytes(const std::vector<UsbParameter>& parameters) {
    UsbBytes out{static_cast<std::uint8_t>(parameters.size() >> 8), static_cast<std::uint8_t>(parameters.size() & 0xFF)};
    for (const UsbParameter& p : parameters) {
        out.push_back(static_cast<std::uint8_t>(p.id >> 8));
        out.push_back(static_cast<std::uint8_t>(p.id & 0xFF));
        out.push_back(p.there ? 0 : 1);
        if (!p.there) continue;
        out.push_back(static_cast<std::uint8_t>(p.data.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(p.data.size() & 0xFF));
        out.insert(out.end(), p.data.begin(), p.data.end());
    }
    return out;
}

std::optional<std::vector<UsbParameter>> parseparameters(std::span<const std::uint8_t> data, std::string* error) {
    auto fail = [&]() -> std::optional<std::vector<UsbParameter>> {
        if (error) *error = "The calculator sent a parameter answer cut short.";
        return std::nullopt;
    };
    if (data.size() < 2) return fail();
    const std::size_t count = std::size_t(data[0]) << 8 | data[1];
    std::size_t at = 2;
    std::vector<UsbParameter> out;
    for (std::size_t i = 0; i < count; ++i) {
        if (data.size() - at < 3) return fail();
        UsbParameter p{static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]), data[at + 2] == 0, {}};
        at += 3;
        if (p.there) {
            if (data.size() - at < 2) return fail();
            const std::size_t size = std::size_t(data[at]) << 8 | data[at + 1];
            at += 2;
            if (data.size() - at < size) return fail();
            p.data.assign(data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + size));
            at += size;
        }
        out.push_back(std::move(p));
    }
    if (at != data.size()) {
        if (error) *error = "The calculator sent bytes past the end of a parameter answer.";
        return std::nullopt;
    }
    return out;
}

std::string usberrortext(std::uint16_t code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", code);
    const std::string tail = std::string(" (error ") + hex + ").";
    switch (code) {
    case usberror::Busy:
        return "The calculator is busy: go to the home screen on the calculator and try again" + tail;
    case usberror::OutOfMemory: return "The calculator is out of memory" + tail;
    case usberror::Locked: return "The variable is locked on the calculator" + tail;
    case usberror::BatteryLow: return "The calculator's batteries are too low" + tail;
    case usberror::SignatureMismatch: return "The calculator refused the signature" + tail;
    case usberror::WaitingForSystem: return "The calculator waits for a system: send the system again" + tail;
    default: return "The calculator refused" + tail;
    }
}

} // namespace tessaly

// ---------------------------------------------------------------- the computer's side

namespace tessaly {

namespace {

constexpr std::uint8_t kAckPayload[] = {0xE0, 0x00};
// A transfer in is read whole: the largest raw packet and some.
constexpr std::size_t kTransferIn = 0x1000;

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string_view rawname(RawType type) {
    switch (type) {
    case RawType::BufferSizeRequest: return "buffer size request";
    case RawType::BufferSizeAnswer: return "buffer size answer";
    case RawType::VirtualMore: return "piece";
    case RawType::VirtualLast: return "last piece";
    case RawType::Ack: return "acknowledgement";
    }
    return "?";
}

// Names a raw packet in the trace; the first piece of a virtual packet also names it.
std::string tracelabel(const RawPacket& raw, bool first) {
    std::string name(rawname(raw.type));
    if (first && raw.payload.size() >= 6 && (raw.type == RawType::VirtualMore || raw.type == RawType::VirtualLast)) {
        const std::uint32_t size = be32(raw.payload);
        name += ": " + std::string(vtypename(static_cast<std::uint16_t>(raw.payload[4] << 8 | raw.payload[5]))) + " (" +
                std::to_string(size) + " bytes)";
    }
    return name;
}

std::uint32_t buffersizeof(Link& link) { return link.usbbuffersize() ? link.usbbuffersize() : kUsbBufferRequest; }

bool writeraw(Link& link, const RawPacket& raw, bool first, bool zerolength) {
    TransferState& s = link.state();
    link.pump().processmessages();
    if (!s.linkok) return false;
    // A port that did not open is a calculator that does not answer.
    if (!link.stream()) {
        link.faillink(kSendBitTimeout);
        return false;
    }
    const UsbBytes bytes = rawbytes(raw);
    if (!link.stream()->write(bytes) || (zerolength && !link.stream()->write({}))) {
        link.faillink(kSendBitTimeout);
        return false;
    }
    if (TraceSink* trace = link.trace()) {
        for (std::uint8_t b : bytes) trace->byte(Direction::ToCalc, b);
        trace->label(Direction::ToCalc, tracelabel(raw, first));
    }
    return true;
}

// The next raw packet, from what is left of the last transfer or from new ones; waits at
// most timeoutms for it, in slices with the message loop between them, so Cancel ends it.
std::optional<RawPacket> readraw(Link& link, std::uint32_t timeoutms, bool first = false) {
    TransferState& s = link.state();
    UsbBytes& in = link.usbinput();
    const std::uint32_t t0 = link.clock().ticks();
    std::vector<std::uint8_t> transfer(kTransferIn);
    for (;;) {
        if (!s.linkok) return std::nullopt;
        if (!link.stream()) {
            link.faillink(kReceiveTimeout);
            return std::nullopt;
        }
        if (in.size() >= kRawHeaderSize) {
            const std::size_t length = be32(in);
            // A length past the buffer fails at once, not after waiting for its bytes.
            if (length > buffersizeof(link) || in.size() >= kRawHeaderSize + length) {
                const std::size_t take = std::min(in.size(), kRawHeaderSize + length);
                std::string why;
                auto raw = parseraw(std::span(in).first(take), buffersizeof(link), &why);
                if (TraceSink* trace = link.trace()) {
                    for (std::size_t i = 0; i < take; ++i) trace->byte(Direction::FromCalc, in[i]);
                    if (raw) trace->label(Direction::FromCalc, tracelabel(*raw, first));
                }
                in.erase(in.begin(), in.begin() + std::ptrdiff_t(take));
                if (!raw) {
                    in.clear();
                    link.faillink(why);
                }
                return raw;
            }
        }
        const std::uint32_t waited = link.clock().ticks() - t0;
        if (waited > timeoutms) {
            link.faillink(kReceiveTimeout);
            return std::nullopt;
        }
        // A zero-length transfer (the end of one of whole 64-byte packets) reads as nothing.
        const int n = link.stream()->read(transfer, std::min(kPumpEveryMs, timeoutms + 1 - waited));
        if (n < 0) {
            link.faillink(kReceiveTimeout);  // the cable's own error says the rest
            return std::nullopt;
        }
        in.insert(in.end(), transfer.begin(), transfer.begin() + n);
        link.pump().processmessages();
    }
}

bool expectrawack(Link& link) {
    const auto raw = readraw(link, kAckBudgetMs);
    if (!raw) return false;
    if (raw->type == RawType::Ack && raw->payload == UsbBytes(std::begin(kAckPayload), std::end(kAckPayload)))
        return true;
    link.faillink(std::string(kUnexpectedAnswerText) + "a USB " + std::string(rawname(raw->type)) +
                  " where an acknowledgement was due.");
    return false;
}

} // namespace

std::string_view vtypename(std::uint16_t type) {
    switch (type) {
    case vtype::SetMode: return "set mode";
    case vtype::OsBegin: return "OS begin";
    case vtype::OsAck: return "OS acknowledgement";
    case vtype::OsHeader: return "OS header";
    case vtype::OsData: return "OS data";
    case vtype::EotAck: return "end acknowledgement";
    case vtype::ParameterRequest: return "parameter request";
    case vtype::ParameterData: return "parameter data";
    case vtype::DirectoryRequest: return "directory request";
    case vtype::VariableHeader: return "variable header";
    case vtype::RequestToSend: return "request to send";
    case vtype::VariableRequest: return "variable request";
    case vtype::VariableContents: return "variable contents";
    case vtype::ParameterSet: return "parameter set";
    case vtype::ModifyVariable: return "modify variable";
    case vtype::Execute: return "execute";
    case vtype::ModeAck: return "mode acknowledgement";
    case vtype::DataAck: return "data acknowledgement";
    case vtype::DelayAck: return "delay acknowledgement";
    case vtype::Eot: return "end of transmission";
    case vtype::Error: return "error";
    default: return "unknown virtual packet";
    }
}

bool usbhandshake(Link& link) {
    if (!link.state().linkok) return false;
    if (link.usbbuffersize()) return true;
    link.usbinput().clear();  // nothing from before the session belongs to it
    UsbBytes request;
    putbe32(request, kUsbBufferRequest);
    if (!writeraw(link, {RawType::BufferSizeRequest, request}, false, false)) return false;
    const auto answer = readraw(link, kAckBudgetMs);
    if (!answer) return false;
    if (answer->type != RawType::BufferSizeAnswer || answer->payload.size() != 4) {
        link.faillink(std::string(kUnexpectedAnswerText) + "a USB " + std::string(rawname(answer->type)) +
                      " where the buffer size answer was due.");
        return false;
    }
    const std::uint32_t granted = std::min(be32(answer->payload), kUsbBufferRequest);
    // Less than a virtual packet's header would never carry one.
    if (granted < 8) {
        link.faillink("The calculator granted a USB buffer of " + std::to_string(granted) + " bytes, too small to use.");
        return false;
    }
    link.setusbbuffersize(granted);
    return true;
}

bool sendvirtual(Link& link, const VirtualPacket& packet) {
    if (!usbhandshake(link)) return false;
    const auto pieces = splitvirtual(packet, link.usbbuffersize());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const bool zerolength = packet.data.size() > kUsbZeroLengthAbove &&
                                (kRawHeaderSize + pieces[i].payload.size()) % 64 == 0;
        if (!writeraw(link, pieces[i], i == 0, zerolength) || !expectrawack(link)) return false;
    }
    return true;
}

std::optional<VirtualPacket> receivevirtual(Link& link, std::uint32_t timeoutms) {
    if (!usbhandshake(link)) return std::nullopt;
    VirtualAssembler assembler;
    bool first = true;
    for (;;) {
        const auto raw = readraw(link, first ? timeoutms : kAckBudgetMs, first);
        if (!raw) return std::nullopt;
        auto packet = assembler.take(*raw);
        if (!assembler.error().empty()) {
            link.faillink(assembler.error());
            return std::nullopt;
        }
        if (!writeraw(link, {RawType::Ack, UsbBytes(std::begin(kAckPayload), std::end(kAckPayload))}, false, false))
            return std::nullopt;
        first = !packet.has_value();
        if (!packet) continue;
        // The calculator needs a while before its answer: wait as long as it asks (within
        // reason) and then for the answer itself.
        if (packet->type == vtype::DelayAck && packet->data.size() == 4) {
            const std::uint32_t micros = be32(packet->data);
            link.pause(std::min<std::uint32_t>(kUsbDelayCapMs, (micros + 999) / 1000));
            continue;
        }
        return packet;
    }
}

std::optional<VirtualPacket> expectvirtual(Link& link, std::uint16_t type, std::string_view failure,
                                           std::uint32_t timeoutms) {
    auto packet = receivevirtual(link, timeoutms);
    if (!packet) return std::nullopt;
    if (packet->type == type) return packet;
    if (packet->type == vtype::Error && packet->data.size() >= 2) {
        link.faillink(usberrortext(static_cast<std::uint16_t>(packet->data[0] << 8 | packet->data[1])));
    } else if (!failure.empty()) {
        link.faillink(failure);
    } else {
        link.faillink(std::string(kUnexpectedAnswerText) + std::string(vtypename(packet->type)) + " (" +
                      hex4(packet->type) + ") where " + std::string(vtypename(type)) + " was due.");
    }
    return std::nullopt;
}

} // namespace tessaly
