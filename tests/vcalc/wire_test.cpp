// The bit engine and the ways the virtual TI-92 misbehaves, as the computer sees them.
#include <gtest/gtest.h>

#include "transfers/readiness.h"
#include "wire.h"

namespace tessaly::testing {
namespace {

// A fresh readiness check, as a press of the status picture starts one.
template <class Side>
bool readyagain(Side& side) {
    side.state.linkok = true;
    side.state.pendingerror.clear();
    return tessaly::readinessexchange(side.link);
}

struct MisbehaviourCase {
    const char* what;
    void (*setup)(Misbehaviour&);
    std::string_view error;  // the byte layer's text in the no-contact text; empty: contact
    std::size_t bytesreceived;  // what the calculator took of the ready check
};

class VcalcMisbehaving : public ::testing::TestWithParam<MisbehaviourCase> {};

TEST_P(VcalcMisbehaving, ShowsOnTheReadyCheck) {
    Wire w;
    GetParam().setup(w.calc.misbehaviour());
    const bool ok = readyagain(w);
    if (GetParam().error.empty()) {
        EXPECT_TRUE(ok) << w.state.pendingerror;
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(w.state.pendingerror, nocontacttext(GetParam().error));
    }
    // What came after it are the computer's acknowledgement slots of its failed wait.
    Bytes took = w.calc.trace().sent();
    took.resize(std::min<std::size_t>(took.size(), 4));
    EXPECT_EQ(took, Bytes(kReady.begin(), kReady.begin() + static_cast<std::ptrdiff_t>(GetParam().bytesreceived)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VcalcMisbehaving,
    ::testing::Values(
        MisbehaviourCase{"none", [](Misbehaviour&) {}, "", 4},
        MisbehaviourCase{"absent", [](Misbehaviour& m) { m.absent = true; }, kSendBitTimeout, 0},
        MisbehaviourCase{"mute", [](Misbehaviour& m) { m.mute = true; }, kReceiveTimeout, 4},
        MisbehaviourCase{"away", [](Misbehaviour& m) { m.awayfromhome = true; }, kReceiveTimeout, 4},
        MisbehaviourCase{"holdlowA", [](Misbehaviour& m) { m.holdlow = Misbehaviour::Line::A; }, kSendBitTimeout, 0},
        MisbehaviourCase{"holdlowB", [](Misbehaviour& m) { m.holdlow = Misbehaviour::Line::B; }, kSendBitTimeout, 0},
        MisbehaviourCase{"stopafter2", [](Misbehaviour& m) { m.stopafterbytes = 2; }, kSendBitTimeout, 2},
        MisbehaviourCase{"stopafter5", [](Misbehaviour& m) { m.stopafterbytes = 5; }, kReceiveTimeout, 4},
        MisbehaviourCase{"slowunderbudget", [](Misbehaviour& m) { m.slowbyte = {{1, 1000}}; }, "", 4},
        MisbehaviourCase{"slowoverbudget", [](Misbehaviour& m) { m.slowbyte = {{1, 1600}}; }, kReceiveTimeout, 4},
        MisbehaviourCase{"refuseheaders", [](Misbehaviour& m) { m.refuseheaders = true; }, "", 4}),
    [](const auto& param) { return std::string(param.param.what); });

TEST(VcalcWire, SlowByteIsLateByItsTime) {
    Wire w;
    w.calc.misbehaviour().slowbyte = {{2, 700}};
    w.send(kReady);
    const auto before = w.clock.micros();
    EXPECT_EQ(w.receive(4), kCalcAck);
    EXPECT_GE(w.clock.micros() - before, 700'000u);
    EXPECT_LT(w.clock.micros() - before, 800'000u);
}

TEST(VcalcWire, WrongChecksumShowsInTheScreenPacket) {
    Wire w;
    w.calc.misbehaviour().wrongchecksum = true;
    w.send({0x09, 0x6D, 0x00, 0x00});
    EXPECT_EQ(w.packet(), kCalcAck);
    const Bytes p = w.packet();
    ASSERT_EQ(p.size(), 3846u);
    std::uint16_t sum = 0;
    for (std::size_t i = 4; i < 3844; ++i) sum = static_cast<std::uint16_t>(sum + p[i]);
    EXPECT_EQ(p[3844] | p[3845] << 8, (sum + 1) & 0xFFFF);
}

// Bits moved by hand, below the byte layer: line A pulled is a 1.
void sendbits(Wire& w, int count) {
    for (int i = 0; i < count; ++i) {
        w.port.setlines(Lines::pulla());
        ASSERT_EQ(w.port.readlines(), Lines::pulled()) << "the calculator acknowledges on line B";
        w.port.setlines(Lines::released());
        ASSERT_TRUE(w.port.readlines().idle());
    }
}

TEST(VcalcWire, HalfAByteIsForgottenAfterTwoSecondsOfSilence) {
    Wire w;
    sendbits(w, 3);
    w.clock.advance(2'100'000);
    EXPECT_TRUE(readyagain(w)) << w.state.pendingerror;
}

TEST(VcalcWire, HalfAByteWithinTwoSecondsStillCounts) {
    Wire w;
    sendbits(w, 3);
    w.clock.advance(1'000'000);
    EXPECT_FALSE(readyagain(w)) << "the ready check was read three bits out of step";
}

TEST(VcalcWire, AnAnswerNobodyReadsIsDroppedAfterTwoSeconds) {
    Wire w;
    w.calc.loaddemo();
    w.send(pcpacket(CmdRequest, varheader(0, kTI92.directorytype, "")));  // and never listens
    w.clock.advance(2'500'000);
    EXPECT_TRUE(readyagain(w)) << w.state.pendingerror;
    EXPECT_TRUE(w.calc.quiet());
}

TEST(VcalcWire, NextBitOnlyAfterTheComputerSawTheLinesIdle) {
    Wire w;
    w.send(kReady);
    ASSERT_EQ(w.receive(1), Bytes{0x89});
    // The rest of the acknowledgement waits until the computer has looked at the idle lines
    // twice, as a program that reads once to see them and once to be sure would.
    for (int i = 0; i < 5; ++i) w.port.setlines(Lines::released());
    EXPECT_TRUE(w.calc.lines().idle());
    w.calc.step();
    EXPECT_TRUE(w.calc.lines().idle());
    w.calc.step();
    EXPECT_FALSE(w.calc.lines().idle());
}

TEST(VcalcWire, PaceLimitsTheBitsASecond) {
    Wire w;
    w.calc.setpace(1000);
    const auto before = w.clock.micros();
    ASSERT_TRUE(readyagain(w)) << w.state.pendingerror;
    // 64 bits at 1000 a second.
    EXPECT_GE(w.clock.micros() - before, 60'000u);
    EXPECT_LT(w.clock.micros() - before, 90'000u);
}

TEST(VcalcWire, AFailedWaitDoesNotSpoilTheNextExchange) {
    Wire w;
    w.calc.misbehaviour().mute = true;
    EXPECT_FALSE(readyagain(w));  // its acknowledgement slots reach the calculator as FF
    w.calc.misbehaviour().mute = false;
    EXPECT_TRUE(readyagain(w)) << w.state.pendingerror;
}

TEST(VcalcWire, PacketsForOtherMachinesGetNoAnswer) {
    Wire w;
    w.send({0x08, 0x68, 0x00, 0x00});
    EXPECT_TRUE(w.calc.quiet());
    w.send(kReady);
    EXPECT_EQ(w.packet(), kCalcAck);
}

} // namespace
} // namespace tessaly::testing
