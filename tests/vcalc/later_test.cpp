// The later models' virtual calculators held against packets captured from the real ones:
// the two-phase listing, the ready answers and the version data. The expected bytes are
// written out here, not worked out from the model table.
#include <gtest/gtest.h>

#include "wire.h"

namespace tessaly::testing {
namespace {

struct LaterCase {
    const CalculatorModel* model;
    std::uint8_t machine;     // of the calculator's packets
    std::size_t entrypadding; // zero bytes after each 14-byte listing entry
    std::uint8_t hardwareid;  // at byte 13 of the version data
};

class LaterCalculator : public ::testing::TestWithParam<LaterCase> {
protected:
    void SetUp() override {
        // The capture's folder: x, y locked and z archived, five stored bytes each.
        w.calc.memory().folders = {{"main",
                                    {{"x", 0x00, {0x00, 0x03, 0x0C, 0x01, 0x1F}, false, false},
                                     {"y", 0x00, {0x00, 0x03, 0x0D, 0x01, 0x1F}, true, false},
                                     {"z", 0x00, {0x00, 0x03, 0x0D, 0x01, 0x1F}, false, true}}}};
    }
    Bytes calc(std::uint8_t command, std::uint16_t value = 0) const {
        return {GetParam().machine, command, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    }
    Bytes data(const Bytes& payload) const {
        Bytes p = calcpacket(CmdData, payload);
        p[0] = GetParam().machine;
        return p;
    }
    Bytes entries(std::initializer_list<Bytes> list) const {
        Bytes out{0, 0, 0, 0};
        for (const Bytes& e : list) {
            out.insert(out.end(), e.begin(), e.end());
            out.resize(out.size() + GetParam().entrypadding, 0);
        }
        return out;
    }
    // One phase after its request: our acknowledgement, header, data and end.
    Bytes phase(const Bytes& request) {
        w.send(request);
        EXPECT_EQ(w.packet(), calc(CmdAck));
        const Bytes header = w.packet();
        // The header: four size bytes, then type 1A, "main" and the calculator's 03.
        EXPECT_EQ(Bytes(header.begin() + 8, header.end() - 2), (Bytes{0x1A, 0x04, 'm', 'a', 'i', 'n', 0x03}));
        w.send({0x08, 0x56, 0x00, 0x00});
        w.send({0x08, 0x09, 0x00, 0x00});
        EXPECT_EQ(w.packet(), calc(CmdAck));
        const Bytes listing = w.packet();
        w.send({0x08, 0x56, 0x00, 0x00});
        EXPECT_EQ(w.packet(), calc(CmdEnd));
        w.send({0x08, 0x56, 0x00, 0x00});
        return listing;
    }
    Wire w{*GetParam().model};
};

TEST_P(LaterCalculator, ListsInTwoPhasesAsCaptured) {
    // Phase one, the request as captured: the folders with their variables' counts.
    EXPECT_EQ(phase({0x08, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x1A, 0x00, 0x39, 0x00}),
              data(entries({{'m', 'a', 'i', 'n', 0, 0, 0, 0, 0x1F, 0x00, 0x03, 0x00, 0x00, 0x00}})));
    // Phase two for main: the capture's data packet.
    EXPECT_EQ(phase({0x08, 0xA2, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x1B, 0x1A, 0x04, 'm', 'a', 'i', 'n', 0xDE, 0x01}),
              data(entries({{'m', 'a', 'i', 'n', 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x03},
                            {'x', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00},
                            {'y', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01, 0x05, 0x00, 0x00, 0x00},
                            {'z', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x03, 0x05, 0x00, 0x00, 0x00}})));
    EXPECT_TRUE(w.calc.quiet());
}

// The TI-92's listing request (type 19, or 1A without a filter) and a folder that does
// not exist are refused as a missing variable; the calculator stays ready.
TEST_P(LaterCalculator, RefusesWhatTheTwoPhasesDoNotAsk) {
    for (const Bytes& request : {varheader(0, 0x19, ""), varheader(0, 0x1A, ""), varheader(0x1B000000, 0x1A, "nope")}) {
        Bytes p = pcpacket(CmdRequest, request);
        p[0] = 0x08;
        w.send(p);
        EXPECT_EQ(w.packet(), calc(CmdAck));
        const Bytes refusal = w.packet();
        ASSERT_GE(refusal.size(), 2u);
        EXPECT_EQ(refusal[1], CmdSkip);
    }
    w.send({0x08, 0x68, 0x00, 0x00});
    EXPECT_EQ(w.packet(), calc(CmdAck));
}

// Ready: a status word of 0000, bit 0 of its high byte when busy; addressed to machine 00
// the upgraded calculator answers 10 with its revision.
TEST_P(LaterCalculator, ReadyAnswersCarryTheirStatus) {
    w.send({0x00, 0x68, 0x00, 0x00});
    const Bytes probe = w.packet();
    ASSERT_EQ(probe.size(), 4u);
    EXPECT_EQ(Bytes(probe.begin(), probe.begin() + 2), (Bytes{GetParam().machine, 0x56}));
    EXPECT_NE(probe[2], 0x00);
    EXPECT_EQ(probe[3], 0x10);
    w.calc.misbehaviour().awayfromhome = true;
    w.send({0x08, 0x68, 0x00, 0x00});
    EXPECT_EQ(w.packet(), calc(CmdAck, 0x0100));
}

TEST_P(LaterCalculator, VersionDataAsTheExamples) {
    w.send({0x08, 0x2D, 0x00, 0x00});
    EXPECT_EQ(w.packet(), calc(CmdAck));
    w.send({0x08, 0x09, 0x00, 0x00});
    EXPECT_EQ(w.packet(), calc(CmdAck));
    const Bytes p = w.packet();
    ASSERT_EQ(p.size(), 4u + 14u + 2u);
    const Bytes version(p.begin() + 4, p.end() - 2);
    // The examples' battery, language and zeros; the model's hardware ID at byte 13.
    EXPECT_EQ(Bytes(version.begin() + 4, version.end()),
              (Bytes{0x00, version[5], 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, GetParam().hardwareid}));
    if (GetParam().model == &kTI89) {
        EXPECT_EQ(version, (Bytes{0x02, 0x09, 0x01, 0x00, 0x00, 0x01, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03}));
    }
    w.send({0x08, 0x56, 0x00, 0x00});
    EXPECT_TRUE(w.calc.quiet());
}

INSTANTIATE_TEST_SUITE_P(Later, LaterCalculator,
                         ::testing::Values(LaterCase{&kTI92Plus, 0x88, 0, 0x01}, LaterCase{&kV200, 0x88, 8, 0x08},
                                           LaterCase{&kTI89, 0x98, 0, 0x03}, LaterCase{&kTI89Titanium, 0x98, 0, 0x09}),
                         [](const auto& p) { return std::string(p.param.model->id); });

} // namespace
} // namespace tessaly::testing
