// The later models' side of sending, restoring, deleting and refusing, held to literal
// transcripts: "> " the computer's packet as the link library sends it, "< " the answer, MM
// standing for the machine byte each model answers with.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "vcalc/calcpackets.h"
#include "wire.h"

namespace tessaly::testing {
namespace {

struct Later {
    const CalculatorModel* model;
    std::uint8_t machine;
};

class LaterExchange : public ::testing::TestWithParam<Later> {
protected:
    LaterExchange() : calc(clock, *GetParam().model) {
        calc.setpace(0);
        state.linkok = true;
        link.releaselines();
        calc.memory().folders = {{"main", {}}};
    }
    void transcript(const std::string& lines) {
        std::istringstream in(lines);
        for (std::string line; std::getline(in, line);) {
            if (line.size() < 2) continue;
            std::istringstream hex(line.substr(2));
            Bytes p;
            for (std::string t; hex >> t;) p.push_back(t == "MM" ? GetParam().machine : std::stoi(t, nullptr, 16));
            if (line[0] == '>') link.sendstring(p);
            else EXPECT_EQ(receive(p.size()), p) << line;
        }
    }
    Bytes receive(std::size_t n) {
        Bytes p;
        for (std::size_t i = 0; i < n && state.linkok; ++i) p.push_back(link.receivebyte());
        return p;
    }
    CalcVariable* s() { return calc.memory().find("main\\s"); }
    SimClock clock;
    VirtualCalculator calc;
    VirtualPort port{calc, &clock};
    NullPump pump;
    TransferState state;
    Link link{port, clock, pump, state};
};

// The string "a", its header answered; then its data and the end.
constexpr const char* kTaken = "< MM 56 00 00\n< MM 09 00 00\n> 08 56 00 00\n"
                               "> 08 15 0A 00 00 00 00 00 00 04 00 61 00 2D 92 00\n< MM 56 00 00\n"
                               "> 08 92 00 00\n< MM 56 00 00\n";

TEST_P(LaterExchange, OffersRefusalsAndDeletes) {
    struct Case {
        const char* offer;  // the string as s: RTS (data size alone, 00 after the name) or VAR
        bool locked, archived;
    };
    const Case cases[] = {{"> 08 C9 08 00 06 00 00 00 0C 01 73 00 86 00", false, false},
                          {"> 08 06 08 00 0A 00 00 00 0C 01 73 03 8D 00", false, false},  // 03: no attribute
                          {"> 08 C9 08 00 06 00 00 00 1D 01 73 00 97 00", false, false},  // a backup's
                          {"> 08 C9 08 00 06 00 00 00 26 01 73 00 A0 00", true, false},
                          {"> 08 C9 08 00 06 00 00 00 27 01 73 00 A1 00", false, true}};
    for (const Case& c : cases) {
        calc.memory().folders = {{"main", {}}};
        transcript(std::string(c.offer) + "\n" + kTaken);
        ASSERT_NE(s(), nullptr) << c.offer;
        EXPECT_EQ(std::tuple(int(s()->type), s()->locked, s()->archived), std::tuple(0x0C, c.locked, c.archived)) << c.offer;
    }
    // Archived now: neither overwritten (1E) nor deleted (21); a name it cannot hold (25).
    transcript("> 08 C9 08 00 06 00 00 00 0C 01 73 00 86 00\n< MM 56 00 00\n< MM 36 03 00 00 00 1E 1E 00\n"
               "> 08 88 07 00 00 00 00 00 00 01 73 74 00\n< MM 56 00 00\n< MM 36 03 00 00 00 21 21 00\n"
               "> 08 C9 0B 00 06 00 00 00 0C 04 73 5C 5C 5C 00 9D 01\n< MM 56 00 00\n< MM 36 03 00 00 00 25 25 00");
    ASSERT_NE(s(), nullptr);
    s()->archived = false;
    transcript("> 08 88 07 00 00 00 00 00 00 01 73 74 00\n< MM 56 00 00\n< MM 56 00 00");
    EXPECT_EQ(s(), nullptr);
}

TEST_P(LaterExchange, BackupOpensWithTheBlockThatClearsMemory) {
    calc.memory().folders = {{"main", {{"old", 0x0C, {0x00, 0x04, 0x00, 0x62, 0x00, 0x2D}, true}}}, {"work", {}}};
    transcript("> 08 06 0A 00 00 00 00 00 1D 04 6D 61 69 6E C6 01\n< MM 56 00 00\n< MM 09 00 00\n"
               "> 08 56 00 00\n> 08 92 00 00\n< MM 56 00 00");
    EXPECT_EQ(calc.variablenames(), std::vector<std::string>{}) << "the locked variable too is gone";
}

// 65536 bytes of data go with the length word 0000 both ways, and the computer's packet
// layer reads such a packet whole.
TEST_P(LaterExchange, FullDataPacketCarriesLengthZero) {
    calc.setmemorycapacity(1u << 20);
    Bytes stored{0xFF, 0xFA};
    stored.resize(65532, 0xE0);
    const Bytes framed = makepacket(0x08, 0x15, cat({{0, 0, 0, 0}, stored}));
    ASSERT_EQ(Bytes(framed.begin(), framed.begin() + 4), (Bytes{0x08, 0x15, 0x00, 0x00}));
    transcript("> 08 C9 08 00 FC FF 00 00 0B 01 74 00 7B 02\n< MM 56 00 00\n< MM 09 00 00\n> 08 56 00 00");
    link.sendstring(framed);
    transcript("< MM 56 00 00\n> 08 92 00 00\n< MM 56 00 00\n"
               "> 08 A2 07 00 00 00 00 00 0B 01 74 80 00\n< MM 56 00 00\n"
               "< MM 06 08 00 FC FF 00 00 0B 01 74 03 7E 02\n> 08 56 00 00\n> 08 09 00 00\n< MM 56 00 00");
    link.choosemodel(GetParam().model);  // the computer's packet layer reads it as a later model does
    const Packet back = receivepacket(link);
    EXPECT_TRUE(back.is(CmdData) && back.header.length == 0);
    EXPECT_EQ(back.data, cat({{0, 0, 0, 0}, stored}));
}

INSTANTIATE_TEST_SUITE_P(EveryLaterModel, LaterExchange,
                         ::testing::Values(Later{&kTI92Plus, 0x88}, Later{&kV200, 0x88}, Later{&kTI89, 0x98},
                                           Later{&kTI89Titanium, 0x98}),
                         [](const auto& param) { return std::string(param.param.model->id); });

TEST(PacketFraming, ZeroLengthIsEmptyOnTheTI92AndFullOnLaterModels) {
    for (const CalculatorModel* model : {&kTI92, &kTI89}) {
        PacketAssembler in;
        in.setmodel(*model);
        bool done = false;
        for (std::uint8_t b : {0x09, 0x15, 0x00, 0x00, 0x00, 0x00}) done = in.take(b);
        EXPECT_EQ(done, model == &kTI92);
    }
}

} // namespace
} // namespace tessaly::testing
