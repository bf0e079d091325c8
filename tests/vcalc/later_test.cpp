// The later models' virtual calculators against the real ones' captured bytes (written
// out here, not worked out from the model table): listing, ready answers, version data.
#include <gtest/gtest.h>

#include "wire.h"

namespace tessaly::testing {
namespace {

struct LaterCase {
    const CalculatorModel* model;
    std::uint8_t machine;      // of the calculator's packets
    std::size_t entrypadding;  // zero bytes after each 14-byte listing entry
    std::uint8_t hardwareid;   // at byte 13 of the version data
};

class LaterCalculator : public ::testing::TestWithParam<LaterCase> {
protected:
    Bytes calc(std::uint8_t command, std::uint16_t value = 0) const {
        return {GetParam().machine, command, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    }
    // Our packets in order; each empty step reads the calculator's next packet.
    std::vector<Bytes> script(std::initializer_list<Bytes> steps) {
        std::vector<Bytes> got;
        for (const Bytes& step : steps) step.empty() ? got.push_back(w.packet()) : w.send(step);
        return got;
    }
    Wire w{*GetParam().model};
};

const Bytes kAck8{0x08, 0x56, 0x00, 0x00}, kCts8{0x08, 0x09, 0x00, 0x00};

TEST_P(LaterCalculator, ListsInTwoPhasesAsCaptured) {
    // The capture's folder: x, y locked and z archived, five stored bytes each.
    const Bytes stored{0x00, 0x03, 0x0C, 0x01, 0x1F};
    w.calc.memory().folders = {{"main", {{"x", 0, stored, false, false}, {"y", 0, stored, true, false}, {"z", 0, stored, false, true}}}};
    Bytes main{0, 0, 0, 0};
    for (const Bytes& e : {Bytes{'m', 'a', 'i', 'n', 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x03},
                           Bytes{'x', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00},
                           Bytes{'y', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01, 0x05, 0x00, 0x00, 0x00},
                           Bytes{'z', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x03, 0x05, 0x00, 0x00, 0x00}}) {
        main.insert(main.end(), e.begin(), e.end());
        main.resize(main.size() + GetParam().entrypadding, 0);
    }
    Bytes xdp = calcpacket(CmdData, main);
    xdp[0] = GetParam().machine;
    // Both requests as captured: the folders (filter 1F), then main's variables (1B).
    for (const Bytes& request : {Bytes{0x08, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x1A, 0x00, 0x39, 0x00},
                                 Bytes{0x08, 0xA2, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x1B, 0x1A, 0x04, 'm', 'a', 'i', 'n', 0xDE, 0x01}}) {
        const auto got = script({request, {}, {}, kAck8, kCts8, {}, {}, kAck8, {}, kAck8});
        EXPECT_EQ(got[0], calc(CmdAck));
        // The header: size, then type 1A, "main" and the calculator's 03.
        EXPECT_EQ(Bytes(got[1].begin() + 8, got[1].end() - 2), (Bytes{0x1A, 0x04, 'm', 'a', 'i', 'n', 0x03}));
        EXPECT_EQ(got[2], calc(CmdAck));
        EXPECT_EQ(got[4], calc(CmdEnd));
        if (request[7] == 0x1B) { EXPECT_EQ(got[3], xdp); }
    }
    // The TI-92's listing request (type 19, or 1A unfiltered) and a missing folder are refused.
    for (const Bytes& data : {varheader(0, 0x19, ""), varheader(0, 0x1A, ""), varheader(0x1B000000, 0x1A, "nope")}) {
        Bytes request = pcpacket(CmdRequest, data);
        request[0] = 0x08;
        const auto got = script({request, {}, {}});
        EXPECT_EQ(got[0], calc(CmdAck));
        EXPECT_EQ(got[1].at(1), CmdSkip);
    }
}

// Ready: status 0000, 0100 when busy; to machine 00 the upgraded one answers xx 10.
TEST_P(LaterCalculator, ReadyAndVersionAnswerAsTheRealOnes) {
    const Bytes probe = script({{0x00, 0x68, 0x00, 0x00}, {}})[0];
    EXPECT_EQ(probe, (Bytes{GetParam().machine, 0x56, probe.at(2), 0x10}));
    EXPECT_NE(probe[2], 0x00);
    const auto version = script({{0x08, 0x2D, 0x00, 0x00}, {}, kCts8, {}, {}, kAck8});
    EXPECT_EQ(version[0], calc(CmdAck));
    ASSERT_EQ(version[2].size(), 4u + 14u + 2u);
    const Bytes data(version[2].begin() + 4, version[2].end() - 2);
    // The examples' battery, language and zeros; the hardware ID at byte 13.
    EXPECT_EQ(Bytes(data.begin() + 6, data.end()), (Bytes{0x09, 0x01, 0, 0, 0, 0, 0, GetParam().hardwareid}));
    EXPECT_EQ(data[4], 0x00);
    if (GetParam().model == &kTI89) { EXPECT_EQ(data, (Bytes{2, 9, 1, 0, 0, 1, 9, 1, 0, 0, 0, 0, 0, 3})); }
    w.calc.misbehaviour().awayfromhome = true;
    EXPECT_EQ(script({{0x08, 0x68, 0x00, 0x00}, {}})[0], calc(CmdAck, 0x0100));
}

INSTANTIATE_TEST_SUITE_P(Later, LaterCalculator,
                         ::testing::Values(LaterCase{&kTI92Plus, 0x88, 0, 0x01}, LaterCase{&kV200, 0x88, 8, 0x08},
                                           LaterCase{&kTI89, 0x98, 0, 0x03}, LaterCase{&kTI89Titanium, 0x98, 0, 0x09}),
                         [](const auto& p) { return std::string(p.param.model->id); });

} // namespace
} // namespace tessaly::testing
