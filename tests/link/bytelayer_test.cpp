#include <gtest/gtest.h>

#include <algorithm>

#include "link/link.h"
#include "support/fakecalculator.h"

using namespace tessaly;
using tessaly::test::FakeCalculator;

using tessaly::test::Wire;

namespace {

// The values that signal or acknowledge a bit: everything but the releases.
std::vector<std::uint8_t> pulls(const Wire& w) {
    std::vector<std::uint8_t> out;
    std::copy_if(w.calc.writes.begin(), w.calc.writes.end(), std::back_inserter(out), [](auto v) { return v != 3; });
    return out;
}

} // namespace

TEST(ByteLayer, SendsLeastSignificantBitFirstWithLineAForOne) {
    struct Case {
        std::uint8_t value;
        std::vector<std::uint8_t> pulls;
    };
    const Case cases[] = {
        {0x01, {2, 1, 1, 1, 1, 1, 1, 1}},
        {0x80, {1, 1, 1, 1, 1, 1, 1, 2}},
        {0xA5, {2, 1, 2, 1, 1, 2, 1, 2}},
    };
    for (const auto& c : cases) {
        Wire w;
        w.link.sendbyte(c.value);
        EXPECT_TRUE(w.state.linkok);
        EXPECT_EQ(pulls(w), c.pulls) << int(c.value);
        EXPECT_EQ(w.calc.received, std::vector<std::uint8_t>{c.value});
        EXPECT_EQ(w.calc.writes.back(), 3) << "lines released after the byte";
        EXPECT_EQ(w.pump.count, 1) << "messages once, at the start of the byte";
        // On a real cable every access is a system call: one reading a wait, and one look at
        // the idle lines before a packet's first byte.
        EXPECT_EQ(w.calc.writes.size(), 16u);
        EXPECT_EQ(w.calc.reads, 17);
        // The next byte of the packet: the last bit's wait saw the lines idle.
        w.link.sendbyte(c.value);
        EXPECT_EQ(w.calc.reads, 17 + 16);
        EXPECT_EQ(w.calc.received, (std::vector<std::uint8_t>{c.value, c.value}));
        // After the packet's end, the first byte looks again.
        w.link.flush();
        w.link.sendbyte(c.value);
        EXPECT_EQ(w.calc.reads, 17 + 16 + 17);
    }
}

TEST(ByteLayer, ReceivesFirstBitIntoBitZeroAndAcknowledgesEachBit) {
    Wire w;
    w.calc.queuebits({1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(w.link.receivebyte(), 0x01);
    EXPECT_TRUE(w.state.linkok);
    // A 1 is acknowledged on line B (value 1), a 0 on line A (value 2).
    EXPECT_EQ(pulls(w), (std::vector<std::uint8_t>{1, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(w.pump.count, 0);

    w.calc.queue({0xC3, 0x00, 0xFF});
    EXPECT_EQ(w.link.receivebyte(), 0xC3);
    EXPECT_EQ(w.link.receivebyte(), 0x00);
    EXPECT_EQ(w.link.receivebyte(), 0xFF);
    EXPECT_TRUE(w.state.linkok);
}

TEST(ByteLayer, ClearedLinkOkStopsBothDirectionsAtOnce) {
    Wire w;
    w.state.linkok = false;
    w.link.sendbyte(0x55);
    EXPECT_TRUE(w.calc.writes.empty());
    EXPECT_EQ(w.calc.reads, 0);

    w.calc.queue({0x55});
    w.link.receivebyte();
    EXPECT_LT(w.ms(), 1u) << "no waiting";
    EXPECT_EQ(w.calc.writes.size(), 16u) << "the acknowledgement values are still written";
    EXPECT_TRUE(w.state.pendingerror.empty());
    EXPECT_FALSE(w.state.linkok);
}

TEST(ByteLayer, SendGivesUpOneAndAHalfSecondsAfterTheByteBegan) {
    struct Case {
        const char* name;
        bool absent;
        FakeCalculator::Line hold;
        bool writes;
    };
    const Case cases[] = {
        {"no calculator", true, FakeCalculator::Line::None, true},
        {"line A held low", false, FakeCalculator::Line::A, false},
        {"line B held low", false, FakeCalculator::Line::B, false},
    };
    for (const auto& c : cases) {
        Wire w;
        w.clock.advance(5'000'000);  // the budget counts from the byte, not from zero
        w.calc.absent = c.absent;
        w.calc.holdlow = c.hold;
        w.link.sendbyte(0x01);
        EXPECT_FALSE(w.state.linkok) << c.name;
        EXPECT_EQ(w.state.pendingerror, kSendBitTimeout) << c.name;
        EXPECT_GE(w.ms(), 5000u + 1500u) << c.name;
        EXPECT_LE(w.ms(), 5000u + 1510u) << c.name;
        EXPECT_EQ(!w.calc.writes.empty(), c.writes) << c.name;
        if (c.writes) {
            EXPECT_EQ(w.calc.writes.back(), 3) << "released after the abandoned bit";
        }
    }
}

TEST(ByteLayer, SlowBitsShareOneBudgetForTheWholeByte) {
    // Each reaction alone is quick, but eight bits of them exceed 1500 ms.
    Wire w;
    w.calc.lag = 12'000;  // 120 ms before each reaction: about 1.8 s for eight bits
    w.link.sendbyte(0x00);
    EXPECT_EQ(w.state.pendingerror, kSendBitTimeout);
    EXPECT_LE(w.ms(), 1510u);
}

TEST(ByteLayer, SilentCalculatorEndsReceiveWithItsText) {
    Wire w;
    w.link.sendbyte(0x09);  // it takes bytes...
    ASSERT_TRUE(w.state.linkok);
    const std::uint64_t start = w.ms();
    w.link.receivebyte();  // ...but never answers
    EXPECT_FALSE(w.state.linkok);
    EXPECT_EQ(w.state.pendingerror, kReceiveTimeout);
    EXPECT_GE(w.ms() - start, 1500u);
    EXPECT_LE(w.ms() - start, 1510u);
    EXPECT_GE(w.pump.count, int(1500 / kPumpEveryMs)) << "the window keeps its messages through a silent wait";
}

TEST(ByteLayer, CalculatorStoppingMidByteEndsReceive) {
    Wire w;
    w.calc.queuebits({1, 0, 1});
    w.link.receivebyte();
    EXPECT_EQ(w.state.pendingerror, kReceiveTimeout);
}

TEST(ByteLayer, RemoteKeyboardVariantPumpsOnEveryPoll) {
    for (bool remote : {false, true}) {
        Wire w;
        w.link.setremote(remote);
        w.calc.lag = 20;
        w.link.sendbyte(0x5A);
        const int aftersend = w.pump.count;
        w.calc.queue({0x77});
        EXPECT_EQ(w.link.receivebyte(), 0x77);
        ASSERT_TRUE(w.state.linkok);
        if (remote) {
            EXPECT_GT(aftersend, 8 * 5) << "every poll of the acknowledgement waits";
            EXPECT_GT(w.pump.count - aftersend, 8 * 5) << "every poll while receiving";
        } else {
            EXPECT_EQ(aftersend, 1);
            EXPECT_EQ(w.pump.count, 1);
        }
    }
}

TEST(ByteLayer, CancelFromTheMessageLoopStopsTheTransfer) {
    Wire w;
    struct CancelPump final : MessagePump {
        TransferState* state;
        void processmessages() override { state->linkok = false; }
    } cancel;
    cancel.state = &w.state;
    Link link(w.calc, w.clock, cancel, w.state);
    link.sendstring({0x09, 0x68, 0x00, 0x00});
    EXPECT_TRUE(w.calc.received.empty());
    EXPECT_TRUE(w.state.pendingerror.empty());
    EXPECT_LT(w.ms(), 1u);
}

TEST(ByteLayer, OnlyTheWholeAnswerMovesTheHandshake) {
    // No calculator answers, so the first bit's acknowledgement is only ever what the scripted
    // readings show: believed, it lets the byte go on to its second bit (values 1, 3).
    struct Case {
        const char* name;
        std::vector<Lines> readings;
        std::vector<std::uint8_t> writes;
    };
    const Lines idle = Lines::released();
    const Case cases[] = {
        {"the calculator's line low, but ours, pulled, reads high", {idle, Lines::pullb()}, {2, 3}},
        // What a one-reading glitch that shows both lines low would pass for.
        {"both lines low", {idle, Lines::pulled()}, {2, 3, 1, 3}},
    };
    for (const auto& c : cases) {
        Wire w;
        w.calc.absent = true;
        w.calc.script.assign(c.readings.begin(), c.readings.end());
        w.link.sendbyte(0x01);
        EXPECT_EQ(w.calc.writes, c.writes) << c.name;
        EXPECT_EQ(w.state.pendingerror, kSendBitTimeout) << c.name;
    }
}

TEST(ByteLayer, LongWaitsAtAByteEdgeSleepInsteadOfSpinning) {
    // Spinning for 1.5 s reads the port 150000 times at 10 us a reading.
    struct Case {
        const char* name;
        void (*setup)(FakeCalculator&);
        bool send;
        std::string_view text;
    };
    const Case cases[] = {
        {"silent calculator", [](FakeCalculator&) {}, false, kReceiveTimeout},
        {"no calculator", [](FakeCalculator& c) { c.absent = true; }, true, kSendBitTimeout},
        {"line held low", [](FakeCalculator& c) { c.holdlow = FakeCalculator::Line::A; }, true, kSendBitTimeout},
    };
    for (const auto& c : cases) {
        Wire w;
        c.setup(w.calc);
        if (c.send) w.link.sendbyte(0x01);
        else w.link.receivebyte();
        EXPECT_EQ(w.state.pendingerror, c.text) << c.name;
        EXPECT_GE(w.ms(), 1500u) << c.name;
        EXPECT_LE(w.ms(), 1510u) << c.name;
        EXPECT_LT(w.calc.reads, 3000) << c.name;
    }

    // A calculator that thinks before it answers (400 readings: 4 ms of spinning, about
    // 300 ms of rests) still has its byte taken.
    Wire w;
    w.calc.lag = 400;
    w.link.sendbyte(0x09);
    w.calc.queue({0xA5});
    const std::uint64_t start = w.ms();
    EXPECT_EQ(w.link.receivebyte(), 0xA5);
    EXPECT_TRUE(w.state.linkok);
    EXPECT_GT(w.ms() - start, 100u) << "it rested while the calculator thought";
}
