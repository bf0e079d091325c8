#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/byteorder.h"
#include "link/link.h"
#include "link/packets.h"
#include "support/fakecalculator.h"

using namespace tessaly;
using tessaly::test::Wire;

namespace {

void sendpacket(Link& link, std::uint8_t command, std::string_view data) {
    tessaly::sendpacket(link, command, std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

} // namespace

TEST(Packets, DataPacketsGoOutByteForByte) {
    struct Case {
        const char* name;
        std::uint8_t command;
        std::string data;
        std::vector<std::uint8_t> wire;
    };
    const Case cases[] = {
        {"variable header for x",
         CmdVarHeader,
         dwordbytes(5) + std::string("\x00\x01x", 3),
         {0x09, 0x06, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x01, 0x78, 0x7E, 0x00}},
        {"directory request",
         CmdRequest,
         dwordbytes(0) + std::string{char(kTI92.directorytype), 0},
         {0x09, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x00, 0x19, 0x00}},
    };
    for (const auto& c : cases) {
        Wire w;
        sendpacket(w.link, c.command, c.data);
        EXPECT_TRUE(w.state.linkok) << c.name;
        EXPECT_EQ(w.calc.received, c.wire) << c.name;
        EXPECT_EQ(w.trace.sent(), c.wire) << c.name;
    }
}

TEST(Packets, BackupRequestCarriesItsNameAndSum) {
    Wire w;
    const std::string name = "main\\backup";
    sendpacket(w.link, CmdRequest, dwordbytes(0) + std::string{char(kTI92.backuptype), char(name.size())} + name);
    std::vector<std::uint8_t> want{0x09, 0xA2, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x0B};
    want.insert(want.end(), name.begin(), name.end());
    want.insert(want.end(), {0x9F, 0x04});
    EXPECT_EQ(w.calc.received, want);
}

TEST(Packets, SendwordSendsLowByteFirstAndReturnsWhatItSent) {
    struct Case {
        std::uint16_t value;
        std::uint8_t low, high;
    };
    for (const auto& c : {Case{0xFF10, 0x10, 0xFF}, Case{256, 0x00, 0x01}, Case{0x007E, 0x7E, 0x00}}) {
        Wire w;
        const auto sent = w.link.sendword(c.value);
        EXPECT_EQ(sent[0], c.low);
        EXPECT_EQ(sent[1], c.high);
        EXPECT_EQ(w.calc.received, (std::vector<std::uint8_t>{c.low, c.high}));
    }
}

TEST(Packets, FixedPacketsOfTheComputer) {
    Wire w;
    sendack(w.link);
    senddatarequest(w.link);
    EXPECT_EQ(w.calc.received, (std::vector<std::uint8_t>{0x09, 0x56, 0x00, 0x00, 0x09, 0x09, 0x00, 0x00}));
}

TEST(Packets, SendstringStopsOnceTheLinkFails) {
    Wire w;
    w.calc.lag = 100'000;  // never acknowledges within the budget
    w.link.sendstring({0x09, 0x68, 0x00, 0x00});
    EXPECT_EQ(w.state.pendingerror, kSendBitTimeout);
    EXPECT_TRUE(w.calc.received.empty());
    EXPECT_LE(w.clock.micros() / 1000, 1510u) << "one timeout, not one per byte";
}

struct AckCase {
    const char* name;
    std::vector<std::uint8_t> answer;
    bool result;
    std::size_t left;  // bytes the calculator still has to send afterwards
};

class WaitAck : public ::testing::TestWithParam<AckCase> {};

TEST_P(WaitAck, ResultAndBytesConsumed) {
    const AckCase& c = GetParam();
    Wire w;
    for (std::uint8_t b : c.answer) w.calc.queue({b});
    EXPECT_EQ(waitack(w.link), c.result);
    EXPECT_TRUE(w.state.linkok);
    EXPECT_EQ(w.calc.queuedbytes(), c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Link, WaitAck,
    ::testing::Values(AckCase{"acknowledge", {0x89, 0x56, 0x00, 0x00}, true, 0},
                      AckCase{"data request", {0x89, 0x09, 0x00, 0x00}, true, 0},
                      AckCase{"checksum error", {0x89, 0x5A, 0x00, 0x00, 0x42}, false, 1},
                      AckCase{"leading junk", {0x15, 0x00, 0x12, 0x89, 0x56, 0x00, 0x00, 0x42}, true, 1},
                      AckCase{"rest of an unread packet", {0x01, 0x02, 0x89, 0x56, 0x00, 0x00}, true, 0}),
    [](const ::testing::TestParamInfo<AckCase>& param) {
        std::string n = param.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

// A later model's machine byte makes the link that model only with a whole packet after it,
// its checksum holding: stray ones before the TI-92's first answer leave the link a TI-92's.
TEST(Packets, AnotherModelIsLearntFromAWholePacketOnly) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const CalculatorModel* model;
        std::uint8_t command;
    };
    const Case cases[] = {
        {"stray 88", {0x88, 0x00, 0x89, 0x56, 0x00, 0x00}, &kTI92, CmdAck},
        {"98 before the TI-92's packet", {0x98, 0x89, 0x56, 0x00, 0x00}, &kTI92, CmdAck},
        {"98 with a wrong checksum", {0x98, 0x15, 0x01, 0x00, 0x07, 0x00, 0x00, 0x89, 0x56, 0x00, 0x00}, &kTI92, CmdAck},
        {"TI-89 acknowledges", {0x98, 0x56, 0x00, 0x01}, &kTI89, CmdAck},
        {"TI-92 Plus sends data", {0x88, 0x15, 0x01, 0x00, 0x07, 0x07, 0x00}, &kTI92Plus, CmdData},
    };
    for (const auto& c : cases) {
        Wire w;
        for (std::uint8_t b : c.bytes) w.calc.queue({b});
        const auto h = seekheader(w.link);
        ASSERT_TRUE(h) << c.name << ": " << w.state.pendingerror;
        EXPECT_EQ(h->command, c.command) << c.name;
        EXPECT_EQ(&w.link.model(), c.model) << c.name;
        EXPECT_TRUE(receivebody(w.link, *h).is(c.command)) << c.name;
        EXPECT_EQ(w.calc.queuedbytes(), 0u) << c.name;
    }
}

TEST(Packets, WaitackOnASilentCalculatorFailsWithTheReceiveTimeout) {
    Wire w;
    EXPECT_FALSE(waitack(w.link));
    EXPECT_FALSE(w.state.linkok);
    EXPECT_EQ(w.state.pendingerror, kReceiveTimeout);
    EXPECT_LE(w.clock.micros() / 1000, 1510u);
}

TEST(Packets, WaitackGivesUpAfterTwoSecondsOfOtherBytes) {
    Wire w;
    for (int i = 0; i < 5000; ++i) w.calc.queue({0x00});
    w.calc.lag = 300;  // a slow calculator: each byte takes a while
    EXPECT_FALSE(waitack(w.link));
    const auto ms = w.clock.micros() / 1000;
    EXPECT_GE(ms, 2000u);
    EXPECT_LT(ms, 2000u + 1500u);
}

TEST(Packets, ExpectationsFailOnAnotherAnswerAndKeepATimeoutsReason) {
    Wire right;
    right.calc.queue({0x89, 0x09, 0x00, 0x00});
    EXPECT_TRUE(expectack(right.link));
    EXPECT_TRUE(right.state.linkok);

    Wire wrong;
    wrong.calc.queue({0x89, 0x92, 0x00, 0x00});
    EXPECT_FALSE(expectack(wrong.link));
    EXPECT_EQ(wrong.state.pendingerror, std::string(kUnexpectedAnswerText) + "end of transmission (expected: acknowledge).");

    Wire named;
    named.calc.queue({0x89, 0x56, 0x00, 0x00});
    EXPECT_FALSE(expect(named.link, CmdDataRequest, "No request"));
    EXPECT_EQ(named.state.pendingerror, "No request");

    Wire silent;
    EXPECT_FALSE(expectpacket(silent.link, CmdVarHeader, "No header").complete);
    EXPECT_EQ(silent.state.pendingerror, kReceiveTimeout);
}

TEST(Packets, WaitdatarequestWantsCommand09) {
    struct Case {
        std::vector<std::uint8_t> answer;
        bool result;
        std::size_t left;
    };
    const Case cases[] = {
        {{0x89, 0x09, 0x00, 0x00}, true, 0},
        {{0x33, 0x89, 0x09, 0x00, 0x00}, true, 0},
        {{0x89, 0x56, 0x00, 0x00}, false, 2},  // the length bytes stay unread
    };
    for (const auto& c : cases) {
        Wire w;
        for (std::uint8_t b : c.answer) w.calc.queue({b});
        EXPECT_EQ(waitdatarequest(w.link), c.result);
        EXPECT_EQ(w.calc.queuedbytes(), c.left);
    }
    Wire silent;
    EXPECT_FALSE(waitdatarequest(silent.link));
    EXPECT_EQ(silent.state.pendingerror, kReceiveTimeout);
}

TEST(Packets, TraceShowsBothDirections) {
    Wire w;
    w.link.sendstring({0x09, 0x68, 0x00, 0x00});
    w.calc.queue({0x89, 0x56, 0x00, 0x00});
    ASSERT_TRUE(waitack(w.link));
    EXPECT_EQ(w.trace.text(), "> 09 68 00 00\n< 89 56 00 00\n");
}

// The calculator's packets as the packet layer frames them: by the command table, the
// length field and the checksum.
struct ReceiveCase {
    const char* name;
    std::vector<std::uint8_t> wire;
    bool known, complete, checksumok;
    std::vector<std::uint8_t> data;
    std::size_t left;  // bytes the calculator still has to send afterwards
};

class ReceivePacket : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceivePacket, FramesByTheTableAndTheLength) {
    const ReceiveCase& c = GetParam();
    Wire w;
    for (std::uint8_t b : c.wire) w.calc.queue({b});
    const Packet p = receivepacket(w.link);
    EXPECT_EQ(p.known, c.known);
    EXPECT_EQ(p.complete, c.complete);
    EXPECT_EQ(p.checksumok, c.checksumok);
    EXPECT_EQ(p.data, c.data);
    EXPECT_EQ(w.calc.queuedbytes(), c.left);
    EXPECT_EQ(w.state.linkok, c.complete);
}

INSTANTIATE_TEST_SUITE_P(
    Link, ReceivePacket,
    ::testing::Values(
        ReceiveCase{"data", {0x89, 0x15, 0x03, 0x00, 0x01, 0x02, 0x03, 0x06, 0x00, 0x89}, true, true, true, {1, 2, 3}, 1},
        ReceiveCase{"wrong_checksum", {0x89, 0x15, 0x02, 0x00, 0x01, 0x02, 0x04, 0x00}, true, true, false, {1, 2}, 0},
        ReceiveCase{"no_data", {0x89, 0x56, 0x00, 0x00, 0x89}, true, true, true, {}, 1},
        ReceiveCase{"unknown_command_read_to_its_header", {0x89, 0x33, 0x02, 0x00, 0x01, 0x02}, false, true, true, {}, 2},
        ReceiveCase{"short", {0x89, 0x15, 0x05, 0x00, 0x01, 0x02}, true, false, false, {1, 2}, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Packets, CancelInsideAPacketStopsAtTheNextByte) {
    struct CancelAt final : PacketWatcher {
        TransferState& state;
        std::size_t seen = 0;
        explicit CancelAt(TransferState& s) : state(s) {}
        void onbyte(std::size_t index, std::uint8_t) override {
            seen = index + 1;
            if (index == 1) state.linkok = false;  // the Cancel button, mid-packet
        }
    };
    Wire w;
    for (std::uint8_t b : {0x89, 0x15, 0x06, 0x00, 1, 2, 3, 4, 5, 6, 0x15, 0x00}) w.calc.queue({b});
    CancelAt cancel(w.state);
    const Packet p = receivepacket(w.link, &cancel);
    EXPECT_FALSE(p.complete);
    EXPECT_EQ(cancel.seen, 2u);
    EXPECT_TRUE(p.data.empty());  // the watcher took the bytes
    EXPECT_TRUE(w.state.pendingerror.empty());
}

TEST(Packets, FileTraceNamesEachPacket) {
    Wire w;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    FileTrace trace(out);
    w.link.settrace(&trace);
    sendready(w.link);
    w.calc.queue({0x00, 0x89, 0x56, 0x00, 0x00});  // a stray byte before the acknowledgement
    ASSERT_TRUE(waitack(w.link));
    sendpacket(w.link, CmdRequest, std::string_view("\0\0\0\0\x19\0", 6));
    trace.finish();
    std::rewind(out);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text, "> 09 68 00 00   RDY\n< 00 89 56 00 00   ACK\n> 09 A2 06 00 00 00 00 00 19 00 19 00   REQ\n");
}
