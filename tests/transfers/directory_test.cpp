#include <gtest/gtest.h>

#include "transfers/rig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

std::vector<std::string> captions(const std::vector<ListRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.caption);
    return out;
}

TEST(DirectoryListing, ExchangeMatchesTheRealCalculatorsCapture) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);

    rig.page.Button30click();

    auto expected = capturetrace("dirlist.log");
    // The end of transmission is not acknowledged by us; the capture's program did.
    ASSERT_GE(expected.size(), 4u);
    expected.resize(expected.size() - 4);
    EXPECT_EQ(rig.trace.bytes(), expected);
    ASSERT_EQ(rig.page.rows().size(), 3u);
    EXPECT_EQ(captions(rig.page.rows()), (std::vector<std::string>{"test\\x", "test\\y", "test\\z"}));
    for (const auto& r : rig.page.rows()) {
        EXPECT_EQ(r.type, "expression");
        EXPECT_EQ(r.size, "5");
    }
    EXPECT_EQ(rig.shell.statuses, (std::vector<std::string>{"Receiving directory list..", "Directory list received."}));
    EXPECT_EQ(rig.page.label8(), kLabelMarkVariables);
    EXPECT_TRUE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
    EXPECT_EQ(rig.shell.cursors, (std::vector<Cursor>{Cursor::Busy, Cursor::Normal}));
}

struct ListingCase {
    const char* what;
    std::vector<CalcFolder> memory;
    std::vector<std::string> captions;
    std::vector<std::string> types;
};

class ListingRows : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingRows, FoldersNameTheRowsAndAreNeverRowsThemselves) {
    ReceiveRig rig;
    rig.calc.memory().folders = GetParam().memory;
    rig.page.Button30click();
    EXPECT_EQ(captions(rig.page.rows()), GetParam().captions);
    std::vector<std::string> types;
    for (const auto& r : rig.page.rows()) types.push_back(r.type);
    EXPECT_EQ(types, GetParam().types);
    EXPECT_EQ(rig.shell.laststatus(), "Directory list received.");
    EXPECT_TRUE(rig.state.pendingerror.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Memory, ListingRows,
    ::testing::Values(
        ListingCase{"only a folder", {CalcFolder{"main", {}}}, {}, {}},
        ListingCase{"empty folders leave no trace",
                    {CalcFolder{"main", {}}, CalcFolder{"empty", {}}, CalcFolder{"prog", {calcvariable("p", 0x12, {1})}},
                     CalcFolder{"last", {}}},
                    {"prog\\p"},
                    {"program"}},
        ListingCase{"eight characters fill the name field",
                    {CalcFolder{"abcdefgh", {calcvariable("abcdefgh", 0x0B, {0, 1, 0x20, 0})}}},
                    {"abcdefgh\\abcdefgh"},
                    {"text"}},
        ListingCase{"a code without a name shows no type",
                    {CalcFolder{"main", {calcvariable("odd", 0x01, {1, 2}), calcvariable("s", 0x0C, {0, 'a', 0, 0x2D})}}},
                    {"main\\odd", "main\\s"},
                    {"", "string"}}),
    [](const auto& p) {
        std::string n = p.param.what;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(DirectoryListing, VariableBeforeAnyFolderStartsWithABackslash) {
    ReceiveRig rig;
    // A folder without a name stands for "no folder entry yet".
    rig.calc.memory().folders = {CalcFolder{"", {calcvariable("loose", 0x00, {1})}}};
    rig.page.Button30click();
    ASSERT_EQ(rig.page.rows().size(), 1u);
    EXPECT_EQ(rig.page.rows()[0].caption, "\\loose");
}

TEST(DirectoryListing, SizeIsTheStoredSizeInDecimal) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("big", 0x12, std::vector<std::uint8_t>(1234, 7))}}};
    rig.page.Button30click();
    ASSERT_EQ(rig.page.rows().size(), 1u);
    EXPECT_EQ(rig.page.rows()[0].size, "1236");
}

TEST(DirectoryListing, TimeoutMidListKeepsTheRowsThatArrived) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    // 38 bytes to the header, 44 per entry (main, test, x), then 30 into y's data packet.
    rig.calc.misbehaviour().stopafterbytes = 38 + 3 * 44 + 30;
    rig.page.Button30click();
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_EQ(rig.shell.laststatus(), "Some error occured!");
    EXPECT_EQ(rig.page.label8(), kLabelMarkVariables);
    EXPECT_EQ(captions(rig.page.rows()), std::vector<std::string>{"test\\x"});  // no half-read row
    EXPECT_FALSE(rig.state.busy);
}

TEST(DirectoryListing, SilentCalculatorLeavesTheStatusAndRecordsTheTimeout) {
    ReceiveRig rig;
    rig.calc.misbehaviour().mute = true;
    rig.page.Button30click();
    EXPECT_EQ(rig.shell.statuses, std::vector<std::string>{"Receiving directory list.."});
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_TRUE(rig.page.label8().empty());
    EXPECT_FALSE(rig.state.busy);
    EXPECT_EQ(rig.shell.cursors.back(), Cursor::Normal);
}

TEST(DirectoryListing, AnswerOtherThanAnAcknowledgementFailsWithAReason) {
    // The ready check is acknowledged, the directory request refused.
    ScriptedRig rig({{4, {0x89, 0x56, 0x00, 0x00}}, {16, {0x89, 0x5A, 0x00, 0x00}}});
    rig.page.Button30click();
    EXPECT_TRUE(rig.page.rows().empty());
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, "Did not got ACK");
    EXPECT_FALSE(rig.state.busy);
}

TEST(DirectoryListing, DamagedEntryIsNotListed) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.calc.misbehaviour().wrongchecksum = true;
    rig.page.Button30click();
    EXPECT_TRUE(rig.page.rows().empty());
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_TRUE(rig.state.pendingerror.starts_with("Checksum error")) << rig.state.pendingerror;
    EXPECT_NE(rig.state.pendingerror.find("main"), std::string::npos);
    EXPECT_EQ(rig.shell.laststatus(), "Some error occured!");
}

TEST(DirectoryListing, RefusedWhileBusyChangesNothing) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.page.Button30click();
    rig.trace.clear();
    rig.state.busy = true;
    rig.page.Button30click();
    ASSERT_EQ(rig.shell.boxes.size(), 1u);
    EXPECT_EQ(rig.shell.boxes[0].text, std::string(kBusyText));
    EXPECT_TRUE(rig.trace.bytes().empty());
    EXPECT_EQ(rig.page.rows().size(), 3u);
    EXPECT_TRUE(rig.state.busy);
}

TEST(DirectoryListing, ClearsThePackageFlagAndDisablesSaveAndView) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.page.setsavetofileenabled(true);
    rig.page.Button30click();
    EXPECT_FALSE(rig.page.packageflag());
    EXPECT_FALSE(rig.page.savetofileenabled());
    EXPECT_FALSE(rig.page.viewenabled());
}

} // namespace
