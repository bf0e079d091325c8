#include <gtest/gtest.h>

#include <deque>

#include "transfers/overwrite.h"

namespace tessaly {
namespace {

// Answers the questions from a script and records which clashes were asked about.
struct Script final : OverwriteQuestions {
    std::deque<OverwriteChoice> choices;
    std::deque<std::optional<std::string>> names;
    std::vector<std::string> asked;
    OverwriteChoice existing(const Clash& c, bool canoverwrite) override {
        asked.push_back(c.name + (canoverwrite ? "" : " (refused)"));
        const OverwriteChoice ch = choices.empty() ? OverwriteChoice::Cancel : choices.front();
        if (!choices.empty()) choices.pop_front();
        return ch;
    }
    std::optional<std::string> newname(const Clash&) override {
        auto n = names.empty() ? std::nullopt : names.front();
        if (!names.empty()) names.pop_front();
        return n;
    }
};

TEST(Overwrite, ClashesAreFoundWithoutRegardToCaseAndBareNamesLiveInMain) {
    DirectoryListing listing;
    listing.rows = {variablerow("main\\a", 0, 5), variablerow("test\\b", 0, 5), variablerow("test\\c", 0, 5)};
    listing.rows[1].locked = true;
    const auto clashes = findclashes({"A", "TEST\\B", "test\\new", "main\\a", "test\\c"}, listing);
    ASSERT_EQ(clashes.size(), 3u);
    EXPECT_EQ(clashlist(clashes), "main\\a, test\\b (locked), test\\c");
}

TEST(Overwrite, EachClashIsAskedUntilAllOrCancelAndALockedOneIsNeverOverwritten) {
    const std::vector<Clash> clashes = {{"main\\a"}, {"test\\b", true}, {"test\\c"}, {"test\\d"}};
    Script s;
    // a: Send as, the first name box cancelled (asked again), then named; b is locked:
    // Overwrite there leaves it out; c: All, which answers d without asking.
    s.choices = {OverwriteChoice::Rename, OverwriteChoice::Rename, OverwriteChoice::Overwrite, OverwriteChoice::All};
    s.names = {std::nullopt, std::string("main\\a2")};
    const auto plan = planoverwrites(clashes, s);
    ASSERT_TRUE(plan);
    EXPECT_EQ(s.asked, (std::vector<std::string>{"main\\a", "main\\a", "test\\b (refused)", "test\\c"}));
    EXPECT_EQ(plan->sentname("MAIN\\A"), "main\\a2");
    EXPECT_EQ(plan->sentname("test\\d"), "test\\d");
    EXPECT_TRUE(plan->skips("test\\b"));
    EXPECT_FALSE(plan->skips("test\\c"));

    Script cancel;
    EXPECT_FALSE(planoverwrites(clashes, cancel)) << "Cancel sends nothing";
}

} // namespace
} // namespace tessaly
