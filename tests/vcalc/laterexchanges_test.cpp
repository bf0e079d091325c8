// The later models' side of sending, restoring, deleting and refusing, held to literal
// packets: the computer's bytes as the link library sends them, the calculator's answers
// with the machine byte each model sends.
#include <gtest/gtest.h>

#include <algorithm>

#include "vcalc/calcpackets.h"
#include "wire.h"

namespace tessaly::testing {
namespace {

struct Later {
    const CalculatorModel* model;
    std::uint8_t machine;  // of its answers
};

class LaterExchange : public ::testing::TestWithParam<Later> {
protected:
    LaterExchange() : calc(clock, *GetParam().model) {
        calc.setpace(0);
        state.linkok = true;
        link.choosemodel(GetParam().model);
        link.releaselines();
        calc.memory().folders = {{"main", {}}};
    }
    void send(const Bytes& bytes) { link.sendstring(bytes); }
    Bytes packet() {
        Bytes p;
        for (int i = 0; i < 4; ++i) p.push_back(link.receivebyte());
        std::size_t n = std::size_t{p[2]} + 256u * p[3];
        if (n == 0 && p[1] == 0x15) n = 65536;
        if (carriesdata(p[1]))
            for (std::size_t i = 0; i < n + 2 && state.linkok; ++i) p.push_back(link.receivebyte());
        return p;
    }
    Bytes answer(std::initializer_list<std::uint8_t> rest) {
        Bytes p(rest.size() + 1, GetParam().machine);
        std::copy(rest.begin(), rest.end(), p.begin() + 1);
        return p;
    }
    // An offer (RTS or VAR) of the string "a" under the name s, taken whole.
    void offerstring(const Bytes& offer) {
        send(offer);
        EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
        EXPECT_EQ(packet(), answer({0x09, 0x00, 0x00}));
        send({0x08, 0x56, 0x00, 0x00});
        send({0x08, 0x15, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x61, 0x00, 0x2D, 0x92, 0x00});
        EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
        send({0x08, 0x92, 0x00, 0x00});
        EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    }
    SimClock clock;
    VirtualTI92 calc;
    VirtualPort port{calc, &clock};
    NullPump pump;
    TransferState state;
    Link link{port, clock, pump, state};
};

TEST_P(LaterExchange, OffersByRtsOrVarWithTheirTypeByte) {
    struct Case {
        const char* what;
        Bytes offer;
        bool locked, archived;
    };
    const Case cases[] = {
        {"RTS, data size alone, 00 after the name", {0x08, 0xC9, 0x08, 0x00, 0x06, 0, 0, 0, 0x0C, 0x01, 0x73, 0x00, 0x86, 0x00},
         false, false},
        {"VAR, size with the 4 extra bytes, 03 after the name (not archived)",
         {0x08, 0x06, 0x08, 0x00, 0x0A, 0, 0, 0, 0x0C, 0x01, 0x73, 0x03, 0x8D, 0x00}, false, false},
        {"RTS of type 26: locked", {0x08, 0xC9, 0x08, 0x00, 0x06, 0, 0, 0, 0x26, 0x01, 0x73, 0x00, 0xA0, 0x00}, true, false},
        {"RTS of type 27: archived", {0x08, 0xC9, 0x08, 0x00, 0x06, 0, 0, 0, 0x27, 0x01, 0x73, 0x00, 0xA1, 0x00}, false, true},
    };
    for (const Case& c : cases) {
        calc.memory().folders = {{"main", {}}};
        offerstring(c.offer);
        const CalcVariable* v = calc.memory().find("main\\s");
        ASSERT_NE(v, nullptr) << c.what;
        EXPECT_EQ(v->type, 0x0C) << c.what << ": the real type, from the string's tag";
        EXPECT_EQ(v->locked, c.locked) << c.what;
        EXPECT_EQ(v->archived, c.archived) << c.what;
        EXPECT_EQ(v->data, (Bytes{0x00, 0x04, 0x00, 0x61, 0x00, 0x2D})) << c.what;
    }
    // The last one is archived: it is neither overwritten nor deleted, and says why.
    send({0x08, 0xC9, 0x08, 0x00, 0x06, 0, 0, 0, 0x0C, 0x01, 0x73, 0x00, 0x86, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x36, 0x03, 0x00, 0x00, 0x00, 0x1E, 0x1E, 0x00}));
    send({0x08, 0x88, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x73, 0x74, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x36, 0x03, 0x00, 0x00, 0x00, 0x21, 0x21, 0x00}));
    EXPECT_NE(calc.memory().find("main\\s"), nullptr);
    // A name it cannot hold.
    send({0x08, 0xC9, 0x0F, 0x00, 0x06, 0, 0, 0, 0x0C, 0x08, 0x6D, 0x61, 0x69, 0x6E, 0x5C, 0x5C, 0x5C, 0x5C, 0x00, 0x2F, 0x03});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x36, 0x03, 0x00, 0x00, 0x00, 0x25, 0x25, 0x00}));
    EXPECT_TRUE(calc.quiet());
}

TEST_P(LaterExchange, DeleteIsAnsweredByTwoAcknowledgements) {
    calc.memory().folders[0].variables.push_back({"s", 0x0C, {0x00, 0x04, 0x00, 0x61, 0x00, 0x2D}});
    send({0x08, 0x88, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x73, 0x74, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(calc.memory().find("main\\s"), nullptr);
}

TEST_P(LaterExchange, BackupOpensWithTheClearingBlockThenEveryVariable) {
    calc.memory().folders = {{"main", {{"old", 0x0C, {0x00, 0x04, 0x00, 0x62, 0x00, 0x2D}, true}}}, {"work", {}}};
    send({0x08, 0x06, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x04, 0x6D, 0x61, 0x69, 0x6E, 0xC6, 0x01});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x09, 0x00, 0x00}));
    send({0x08, 0x56, 0x00, 0x00});
    send({0x08, 0x92, 0x00, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(calc.variablenames(), std::vector<std::string>{}) << "the locked variable too is gone";
    // A plain variable of the backup comes as type 1D; its type is read from its data.
    offerstring({0x08, 0xC9, 0x08, 0x00, 0x06, 0, 0, 0, 0x1D, 0x01, 0x73, 0x00, 0x97, 0x00});
    const CalcVariable* v = calc.memory().find("main\\s");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, 0x0C);
    EXPECT_FALSE(v->locked || v->archived);
}

// 65536 bytes of data go with the length word 0000 both ways.
TEST_P(LaterExchange, FullDataPacketCarriesLengthZero) {
    calc.setmemorycapacity(1u << 20);
    Bytes stored{0xFF, 0xFA};
    stored.resize(65532, 0x20);
    stored.back() = 0xE0;
    // RTS: size FFFC, text, "t".
    send({0x08, 0xC9, 0x08, 0x00, 0xFC, 0xFF, 0x00, 0x00, 0x0B, 0x01, 0x74, 0x00, 0x7B, 0x02});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x09, 0x00, 0x00}));
    send({0x08, 0x56, 0x00, 0x00});
    const Bytes framed = makepacket(0x08, 0x15, cat({{0, 0, 0, 0}, stored}));
    ASSERT_EQ(Bytes(framed.begin(), framed.begin() + 4), (Bytes{0x08, 0x15, 0x00, 0x00}));
    send(framed);
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    send({0x08, 0x92, 0x00, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    const CalcVariable* v = calc.memory().find("main\\t");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, stored);

    // Asked for, it comes back in one data packet of length 0000.
    send({0x08, 0xA2, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x01, 0x74, 0x80, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    EXPECT_EQ(packet(), answer({0x06, 0x08, 0x00, 0xFC, 0xFF, 0x00, 0x00, 0x0B, 0x01, 0x74, 0x03, 0x7E, 0x02}));
    send({0x08, 0x56, 0x00, 0x00});
    send({0x08, 0x09, 0x00, 0x00});
    EXPECT_EQ(packet(), answer({0x56, 0x00, 0x00}));
    const Bytes data = packet();
    EXPECT_EQ(data, cat({answer({0x15}), Bytes(framed.begin() + 2, framed.end())}));
}

INSTANTIATE_TEST_SUITE_P(EveryLaterModel, LaterExchange,
                         ::testing::Values(Later{&kTI92Plus, 0x88}, Later{&kV200, 0x88}, Later{&kTI89, 0x98},
                                           Later{&kTI89Titanium, 0x98}),
                         [](const auto& param) { return std::string(param.param.model->id); });

// A TI-92 reads the length word 0000 as no data at all.
TEST(PacketFraming, ZeroLengthIsEmptyOnTheTI92AndFullOnLaterModels) {
    for (const bool full : {false, true}) {
        PacketAssembler in;
        in.setfullzerolength(full);
        bool done = false;
        for (std::uint8_t b : {0x09, 0x15, 0x00, 0x00, 0x00, 0x00}) done = in.take(b);
        EXPECT_EQ(done, !full);
        if (!full) {
            EXPECT_TRUE(in.data().empty());
        }
    }
}

} // namespace
} // namespace tessaly::testing
