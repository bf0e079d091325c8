#include "transfers/receive.h"

#include <algorithm>

#include "files/ticharset.h"
#include "link/packets.h"
#include "link/typenames.h"
#include "transfers/headerdata.h"
#include "transfers/usbvariables.h"

namespace tessaly {

namespace {

constexpr std::uint32_t kReadyPauseMs = 200;

// A variable's data packet as it arrives: four zero bytes, the big-endian length word
// L, then L bytes. Everything from the length word on goes into the package store;
// once the length is known the variable gets its row and the gauge its range, which
// then moves (and lets window messages through) every (L div 100) x 2 bytes.
class VariableData final : public PacketWatcher {
public:
    VariableData(PackageStoreWriter& writer, ReceiveTarget& target, const VariableHeader& header,
                 const CalculatorModel& model)
        : m_writer(writer), m_target(target), m_header(header), m_model(model), m_start(writer.dataposition()) {}

    void onbyte(std::size_t index, std::uint8_t byte) override {
        if (index < 4) return;
        m_writer.writedata(byte);
        if (index == 4) {
            m_length = byte * 256u;
        } else if (index == 5) {
            m_length += byte;
            announce();
        } else {
            const std::size_t i = index - 5;
            if (i % m_step == 1) {
                m_target.progress.setgaugeposition(static_cast<int>(i));
                m_target.progress.processmessages();
            }
        }
    }
    void restart() override {
        m_writer.dropfrom(m_start);
        if (m_announced) m_target.droprow();
        m_announced = false;
        m_length = 0;
    }
    bool announced() const { return m_announced; }
    // The packet held the padding, the length word and exactly the bytes it counts.
    bool whole(const Packet& p) const { return datalength(m_model, p.header) == m_length + 6; }
    std::uint32_t length() const { return m_length; }

private:
    void announce() {
        Progress& progress = m_target.progress;
        m_target.addrow(variablerow(m_header.name, m_header.type, m_length + 2));
        progress.setstatus("Transferring " + std::to_string(m_length) + " bytes of data");
        progress.setgaugemax(static_cast<int>(m_length));
        progress.setgaugeposition(0);
        m_step = std::max<std::uint32_t>(1, (m_length / 100) * 2);
        m_announced = true;
    }

    PackageStoreWriter& m_writer;
    ReceiveTarget& m_target;
    const VariableHeader& m_header;
    const CalculatorModel& m_model;
    const std::int64_t m_start;
    std::uint32_t m_length = 0;
    std::uint32_t m_step = 1;
    bool m_announced = false;
};

} // namespace

void sendvariablerequest(Link& link, const RequestEntry& entry) {
    std::vector<std::uint8_t> data{0x00, 0x00, 0x00, 0x00, entry.type, static_cast<std::uint8_t>(entry.name.size())};
    // Nothing after the name: a request carries no attribute, even on a later model.
    data.insert(data.end(), entry.name.begin(), entry.name.end());
    sendpacket(link, CmdRequest, data);
}

namespace {

// One variable of a reception: its header, our data request, the calculator's
// acknowledgement and the data into the package store; `next` gets the packet after it.
// The name kept, or nullopt when nothing was (the link then says why, unless the
// calculator answered the data request with something else).
std::optional<std::string> receiveone(Link& link, ReceiveTarget& target, PackageStoreWriter& writer,
                                      PacketHeader head, std::string_view requestname,
                                      std::optional<PacketHeader>& next, bool archived, bool locked) {
    TransferState& s = link.state();
    target.progress.setstatus(kGettingHeaderText);
    VariableHeader header = parseheader(link.model().header, receivebody(link, head).data);
    if (!requestname.empty() && target.storefolder) header.name = requestname.substr(0, kPackageNameSize);
    sendack(link);
    senddatarequest(link);

    const std::int64_t start = writer.dataposition();
    VariableData data(writer, target, header, link.model());
    Packet reply = receivepacket(link);  // the calculator's acknowledgement
    if (reply.is(CmdAck)) reply = receiveverified(link, &data);

    // Whatever does not arrive whole leaves neither a record nor stray bytes behind.
    auto drop = [&] {
        writer.dropfrom(start);
        if (data.announced()) target.droprow();
    };
    if (s.linkok && reply.complete && !reply.checksumok) link.faillink(std::string(kChecksumErrorText) + tibytes_to_utf8(header.name));
    if (s.linkok && reply.is(CmdData) && data.announced() && !data.whole(reply))
        link.faillink(std::string(kLengthMismatchText) + tibytes_to_utf8(header.name));
    if (!s.linkok || !reply.is(CmdData) || !data.announced()) {
        drop();
        return std::nullopt;
    }

    sendack(link);
    next = receiveheader(link);
    if (!target.manual) sendack(link);  // acknowledges the end of transmission

    target.progress.setgaugeposition(static_cast<int>(data.length()));
    const std::int64_t end = writer.dataposition();
    if (!writer.appendrecord(PackageRecord{header.name, static_cast<std::int32_t>(start), static_cast<std::int32_t>(end),
                                           static_cast<std::int32_t>(data.length() + 2), header.type, archived, locked})) {
        // A full or vanished disk: the variable cannot be kept, and neither can any after it.
        drop();
        link.faillink(writer.error());
        return std::nullopt;
    }
    return header.name;
}

} // namespace

std::vector<std::string> receivevariable(Link& link, ReceiveTarget& target, bool first, std::string_view requestname,
                                         bool archived, bool locked) {
    // The link-ok flag is taken as the caller leaves it, not set anew here: a Cancel
    // pressed before this variable's turn must end the transfer, not be undone by it.
    TransferState& s = link.state();
    std::vector<std::string> stored;

    target.progress.processmessages();
    PackageStoreWriter writer(target.store);
    std::string error;
    if (!writer.open(first, &error)) {
        link.faillink(error);
        return stored;
    }

    std::optional<PacketHeader> next = receiveheader(link);
    while (next && next->command == CmdVarHeader && s.linkok) {
        const std::optional<std::string> name = receiveone(link, target, writer, *next, requestname, next, archived, locked);
        if (!name) break;
        stored.push_back(*name);
        if (!target.manual) break;
    }

    // Anything else than a header (a refusal of an unknown name, say) is read to its end,
    // so the next exchange starts on a quiet line.
    if (next && s.linkok && next->command != CmdVarHeader) receivebody(link, *next);

    if (!writer.close(&error) && s.linkok) link.faillink(error);
    return stored;
}

namespace {

struct RequestRun {
    Link& link;
    ReceiveTarget& target;
    ReceiveResult& result;
    std::size_t total;
    bool first = true;  // the package before this press stays until a variable has arrived
};

// One requested entry: the home-screen check, the request and the variable. False once a
// reception failed: the run ends with that reason. The calculator's absence from the home
// screen is recorded entry after entry instead.
bool requestentry(RequestRun& run, const RequestEntry& entry, std::size_t j) {
    Link& link = run.link;
    ReceiveTarget& target = run.target;
    const std::string shownname = tibytes_to_utf8(entry.name);  // messages are UTF-8
    const std::string counter = std::to_string(j) + "/" + std::to_string(run.total) + "]";
    auto notreceived = [&] {
        target.progress.setstatus(shownname + std::string(kNotReceivedStatusText) + counter);
        run.result.notreceived.push_back(entry.name);
    };

    sendready(link);
    expectack(link);
    link.pause(kReadyPauseMs);
    sendready(link);
    if (!waitack(link)) {
        link.faillink(std::string(kNotAtHomeText) + shownname);
        return true;
    }
    target.progress.setstatus(kSendingRequestText);
    sendvariablerequest(link, entry);
    if (!waitack(link)) {
        // Silence after the request is a timeout, not an absence from the home screen; any
        // other answer is a refusal of the request, and the user must learn of it.
        if (link.state().linkok) notreceived();
        return link.state().linkok;
    }

    if (target.onreceiving) target.onreceiving();
    target.progress.setstatus(std::string(kReceivingVariableText) + counter);
    const std::vector<std::string> names = receivevariable(link, target, run.first, entry.name, entry.archived, entry.locked);
    run.first = run.first && names.empty();
    if (target.onreceived) target.onreceived();
    if (names.empty()) {
        notreceived();
    } else {
        target.progress.setstatus(shownname + std::string(kReceivedText) + counter);
        run.result.received.insert(run.result.received.end(), names.begin(), names.end());
    }
    return link.state().linkok;
}

} // namespace

ReceiveResult receiverequested(Link& link, ReceiveTarget& target, const std::vector<RequestEntry>& entries) {
    if (link.directusb()) return usbreceiverequested(link, target, entries);
    TransferState& s = link.state();
    ReceiveResult result;

    sendready(link);
    expectack(link);

    const std::uint32_t cancels = s.cancelgeneration;
    // The window collects its marked rows only after this ready check, and stops at the
    // first one once the link has failed: an unanswered check leaves one entry.
    RequestRun run{link, target, result, s.linkok ? entries.size() : std::min<std::size_t>(entries.size(), 1)};
    // A Cancel keeps its own reason.
    for (std::size_t j = 1; j <= run.total && s.cancelgeneration == cancels; ++j)
        if (!requestentry(run, entries[j - 1], j)) break;

    // A request the calculator answered with something else than the variable: the
    // link itself is fine, so nothing else would tell the user.
    if (s.linkok && !result.notreceived.empty()) {
        std::string missing;
        for (const std::string& name : result.notreceived) missing += (missing.empty() ? "" : ", ") + tibytes_to_utf8(name);
        link.faillink(std::string(kNotReceivedText) + missing);
    }
    return result;
}

ReceiveResult receivefromcalc(Link& link, ReceiveTarget& target) {
    ReceiveResult result;
    if (link.directusb()) {
        link.faillink(kNoCalcSendOverUsbText);
        return result;
    }
    result.received = receivevariable(link, target, true, "");
    // Something else than a variable (the FCamera stream, say) leaves the link up: without
    // a reason the receive would pass for one that brought an empty package.
    if (link.state().linkok && result.received.empty()) link.faillink(kNothingReceivedText);
    // The status ends on what came, not on the last variable's byte count.
    if (link.state().linkok) target.progress.setstatus(receivedcount(result.received.size()));
    return result;
}

} // namespace tessaly
