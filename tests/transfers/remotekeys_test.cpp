#include <gtest/gtest.h>

#include "transfers/remotekeys.h"
#include "transfers/rig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct TableCase {
    const char* what;
    bool character;  // looked up as a typed character, else as a virtual key
    unsigned index;
    std::uint16_t code;
};

class KeyTables : public ::testing::TestWithParam<TableCase> {};

TEST_P(KeyTables, MapToTheCalculatorsCodes) {
    const TableCase& c = GetParam();
    EXPECT_EQ(c.character ? charkeycode(static_cast<unsigned char>(c.index)) : virtualkeycode(c.index), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTables,
    ::testing::Values(TableCase{"a", true, 'a', 97}, TableCase{"ShiftA", true, 'A', 65},
                      TableCase{"Enter", true, 13, 13}, TableCase{"Backspace", true, 8, 257},
                      TableCase{"Escape", true, 27, 264}, TableCase{"PageUp", false, 33, 266},
                      TableCase{"PageDown", false, 34, 263}, TableCase{"End", false, 35, 258},
                      TableCase{"Home", false, 36, 265}, TableCase{"Left", false, 37, 337},
                      TableCase{"Down", false, 40, 344}, TableCase{"Insert", false, 45, 4353},
                      TableCase{"Delete", false, 46, 8449}, TableCase{"F1", false, 112, 268},
                      TableCase{"F8", false, 119, 275}, TableCase{"F9", false, 120, 0},
                      TableCase{"Shift", false, 16, 0}, TableCase{"Beyond", false, 300, 0}),
    [](const auto& tp) { return std::string(tp.param.what); });

TEST(KeyNames, NamesAndNumbers) {
    EXPECT_EQ(keybyname("ENTER"), 13);
    EXPECT_EQ(keybyname("esc"), 264);
    EXPECT_EQ(keybyname("F8"), 275);
    EXPECT_EQ(keybyname("HOME"), 8273);
    EXPECT_EQ(keybyname("265"), 265);
    for (const char* bad : {"", "F9", "12x", "65536", "-1"}) EXPECT_FALSE(keybyname(bad)) << bad;
}

// The time of every key press packet that crossed.
struct KeyTimes : TraceSink {
    Clock& clock;
    std::vector<std::uint32_t> sent;
    explicit KeyTimes(Clock& c) : clock(c) {}
    void byte(Direction, std::uint8_t) override {}
    void packet(Direction dir, std::uint8_t command) override {
        if (dir == Direction::ToCalc && command == CmdKey) sent.push_back(clock.ticks());
    }
};

TEST(RemoteKeyboard, TypedKeysReachTheEntryLineOneAcknowledgedPacketEach) {
    ReceiveRig rig;
    RemoteKeyboard keys(rig.link);
    keys.reset();
    for (char c : std::string("2+3")) keys.press(static_cast<std::uint8_t>(c));
    keys.press(257);
    EXPECT_EQ(rig.calc.entryline(), "2+");
    EXPECT_EQ(rig.trace.text(), transcript({"> 09 87 32 00", "< 89 56 00 00", "> 09 87 2B 00", "< 89 56 00 00",
                                            "> 09 87 33 00", "< 89 56 00 00", "> 09 87 01 01", "< 89 56 00 00"}));
    EXPECT_TRUE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
}

TEST(RemoteKeyboard, KeysTypedWhileOneIsOnItsWayFollowInOrderAtLeast21msApart) {
    ReceiveRig rig;
    KeyTimes times(rig.clock);
    rig.link.settrace(&times);
    RemoteKeyboard keys(rig.link);
    keys.reset();
    bool typed = false;
    rig.shell.onpump = [&](int) {
        // The window's messages run while the first key waits: two more keys arrive.
        if (typed || !keys.sending()) return;
        typed = true;
        keys.press('b');
        keys.press('c');
        EXPECT_EQ(keys.queued(), 3u);
    };
    keys.press('a');
    EXPECT_EQ(rig.calc.entryline(), "abc");
    ASSERT_EQ(times.sent.size(), 3u);
    for (std::size_t i = 1; i < times.sent.size(); ++i) EXPECT_GE(times.sent[i] - times.sent[i - 1], 21u);
    EXPECT_FALSE(keys.sending());
}

TEST(RemoteKeyboard, KeysDuringATransferAreHeldBackAndSentAfterIt) {
    ReceiveRig rig;
    RemoteKeyboard keys(rig.link);
    keys.reset();
    rig.state.busy = true;  // a transfer of the main window
    for (int i = 0; i < 20; ++i) keys.press('1');
    keys.press('+');
    EXPECT_TRUE(rig.trace.text().empty());
    EXPECT_EQ(keys.queued(), 21u);
    keys.flush();
    EXPECT_TRUE(rig.trace.text().empty());
    rig.state.busy = false;
    keys.flush();
    EXPECT_EQ(rig.calc.entryline(), std::string(20, '1') + "+");
    EXPECT_EQ(keys.queued(), 0u);
}

TEST(RemoteKeyboard, ASilentCalculatorDropsTheQueueAndTheNextKeyTriesAgain) {
    ReceiveRig rig;
    RemoteKeyboard keys(rig.link);
    keys.reset();
    rig.calc.misbehaviour().mute = true;
    keys.press('x');
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
    EXPECT_FALSE(rig.state.pendingerror.empty());
    rig.calc.misbehaviour().mute = false;
    keys.press('y');
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_EQ(rig.calc.entryline(), "y");
}

} // namespace
