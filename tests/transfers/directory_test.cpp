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

    const DirectoryListing listing = rig.list();

    auto expected = capturetrace("dirlist.log");
    // The end of transmission is not acknowledged by us; the capture's program did.
    ASSERT_GE(expected.size(), 4u);
    expected.resize(expected.size() - 4);
    EXPECT_EQ(rig.trace.bytes(), expected);
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(captions(listing.rows), (std::vector<std::string>{"test\\x", "test\\y", "test\\z"}));
    for (const auto& r : listing.rows) {
        EXPECT_EQ(r.folder, "test");
        EXPECT_EQ(typetext(kTI92, r), "expression");
        EXPECT_EQ(sizetext(r), "5");
    }
    EXPECT_TRUE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
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
    const DirectoryListing listing = rig.list();
    EXPECT_EQ(captions(listing.rows), GetParam().captions);
    std::vector<std::string> types;
    for (const auto& r : listing.rows) types.push_back(typetext(kTI92, r));
    EXPECT_EQ(types, GetParam().types);
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
    const DirectoryListing listing = rig.list();
    ASSERT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.rows[0].caption, "\\loose");
}

TEST(DirectoryListing, SizeIsTheStoredSizeInDecimal) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("big", 0x12, std::vector<std::uint8_t>(1234, 7))}}};
    const DirectoryListing listing = rig.list();
    ASSERT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.rows[0].size, 1236u);
}

TEST(DirectoryListing, TimeoutMidListKeepsTheRowsThatArrived) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    // 38 bytes to the header, 44 per entry (main, test, x), then 30 into y's data packet.
    rig.calc.misbehaviour().stopafterbytes = 38 + 3 * 44 + 30;
    const DirectoryListing listing = rig.list();
    EXPECT_TRUE(listing.answered);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_EQ(captions(listing.rows), std::vector<std::string>{"test\\x"});  // no half-read row
    EXPECT_FALSE(rig.state.busy);
}

TEST(DirectoryListing, SilentCalculatorLeavesTheStatusAndRecordsTheTimeout) {
    ReceiveRig rig;
    rig.calc.misbehaviour().mute = true;
    EXPECT_FALSE(rig.list().answered);
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_FALSE(rig.state.busy);
}

TEST(DirectoryListing, AnswerOtherThanAnAcknowledgementFailsWithAReason) {
    // The ready check is acknowledged, the directory request refused.
    ScriptedRig rig({{4, {0x89, 0x56, 0x00, 0x00}}, {16, {0x89, 0x5A, 0x00, 0x00}}});
    rig.state.linkok = true;
    const DirectoryListing listing = directorylisting(rig.link, rig.shell);
    EXPECT_FALSE(listing.answered);
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, "Did not got ACK");
}

TEST(DirectoryListing, DamagedEntryIsNotListed) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.calc.misbehaviour().wrongchecksum = true;
    const DirectoryListing listing = rig.list();
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_TRUE(rig.state.pendingerror.starts_with("Checksum error")) << rig.state.pendingerror;
    EXPECT_NE(rig.state.pendingerror.find("main"), std::string::npos);
}

} // namespace
