#include <gtest/gtest.h>

#include "app/receivepage.h"
#include "transfers/rig.h"

using namespace tessaly;
using namespace tessaly::app;
using namespace tessaly::test;

namespace {

// The receive page's state over the exchanges, on the virtual TI-92.
struct PageRig : ReceiveRig {
    ReceivePageModel page{link, shell, store};
    void mark(const std::vector<std::string>& captions) {
        for (std::size_t i = 0; i < page.rows().size(); ++i)
            for (const auto& c : captions)
                if (page.rows()[i].caption == c) page.setselected(i, true);
    }
};

// Switching views and the button rules need no exchange; the rig's calculator stays idle.
class ReceivePageViews : public ::testing::Test {
protected:
    PageRig rig;
    void SetUp() override {
        tessaly::testing::capturememory(rig.calc);
        rig.page.updatedirectorylist();
    }
    void toreceived() {
        rig.page.setcalculatordown(false);
        rig.page.showreceived();
    }
    void tocalculator() {
        rig.page.setcalculatordown(true);
        rig.page.showcalculator();
    }
};

TEST_F(ReceivePageViews, EachViewKeepsItsRowsInItsStore) {
    ASSERT_EQ(rig.page.rows().size(), 3u);
    toreceived();
    EXPECT_FALSE(rig.page.viewflag());
    EXPECT_TRUE(rig.page.rows().empty());
    EXPECT_EQ(rig.page.calcview().size(), 3u);
    EXPECT_FALSE(rig.page.packageflag());
    EXPECT_FALSE(rig.page.updateenabled());
    EXPECT_FALSE(rig.page.receiveenabled());

    tocalculator();
    EXPECT_TRUE(rig.page.viewflag());
    EXPECT_EQ(rig.page.rows().size(), 3u);  // no extra empty row
    EXPECT_TRUE(rig.page.updateenabled());
    EXPECT_FALSE(rig.page.savetofileenabled());
    EXPECT_FALSE(rig.page.viewenabled());
}

TEST_F(ReceivePageViews, PressingTheToggleOfTheViewOnShowChangesNothing) {
    rig.page.setselected(1, true);
    int changes = 0;
    rig.page.onchange = [&](ReceivePageModel::Change) { ++changes; };
    rig.page.setcalculatordown(true);
    rig.page.showcalculator();
    EXPECT_TRUE(rig.page.rows()[1].selected);
    toreceived();
    changes = 0;
    rig.page.setcalculatordown(false);
    rig.page.showreceived();
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(rig.page.viewflag());
}

TEST_F(ReceivePageViews, SelectionDecidesReceiveInTheCalculatorView) {
    rig.page.setselected(0, true);
    rig.page.selectionchanged();
    EXPECT_TRUE(rig.page.receiveenabled());
    rig.page.setselected(0, false);
    rig.page.selectionchanged();
    EXPECT_FALSE(rig.page.receiveenabled());

    rig.page.setmanual(true);
    rig.page.optionclicked();
    EXPECT_TRUE(rig.page.receiveenabled());
    rig.page.setmanual(false);
    rig.page.optionclicked();
    EXPECT_FALSE(rig.page.receiveenabled());

    // Selection does not survive a trip to the other view.
    rig.page.setselected(2, true);
    toreceived();
    tocalculator();
    EXPECT_FALSE(rig.page.receiveenabled());
}

TEST(ReceivePageView, ViewIsOfferedForOneSelectedTextInThePackage) {
    PageRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("t", 0x0B, {0, 1, 0x20, 'h', 'i', 0, 0xE0}),
                                                      calcvariable("n", 0x00, {0x0C, 0x01, 0x1F})}}};
    rig.page.updatedirectorylist();
    rig.mark({"main\\t", "main\\n"});
    rig.page.receiveselected();
    ASSERT_EQ(rig.page.rows().size(), 2u);
    EXPECT_TRUE(rig.page.packageflag());
    EXPECT_FALSE(rig.page.viewenabled());
    rig.page.setselected(0, true);
    rig.page.selectionchanged();
    EXPECT_TRUE(rig.page.viewenabled());
    rig.page.setselected(0, false);
    rig.page.setselected(1, true);
    rig.page.selectionchanged();
    EXPECT_FALSE(rig.page.viewenabled());
}

TEST(ReceivePage, ListingShowsRowsHelpAndStatusAndGreysSaveAndView) {
    PageRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.page.setsavetofileenabled(true);
    rig.page.updatedirectorylist();
    EXPECT_EQ(rig.page.rows().size(), 3u);
    EXPECT_EQ(rig.page.helptext(), kLabelMarkVariables);
    EXPECT_EQ(rig.shell.statuses, (std::vector<std::string>{"Receiving directory list..", "Directory list received."}));
    EXPECT_EQ(rig.shell.works, (std::vector<Work>{Work::Started, Work::Ended}));
    EXPECT_FALSE(rig.page.packageflag());
    EXPECT_FALSE(rig.page.savetofileenabled());
    EXPECT_FALSE(rig.page.viewenabled());

    // A second press while a transfer runs changes nothing.
    rig.trace.clear();
    rig.state.busy = true;
    rig.page.updatedirectorylist();
    EXPECT_EQ(rig.shell.refusals, 1);
    EXPECT_TRUE(rig.trace.bytes().empty());
    EXPECT_EQ(rig.page.rows().size(), 3u);
}

TEST(ReceivePage, FailedListingSaysSoOnlyOnceTheCalculatorAnswered) {
    PageRig silent;
    silent.calc.misbehaviour().mute = true;
    silent.page.updatedirectorylist();
    EXPECT_EQ(silent.shell.statuses, std::vector<std::string>{"Receiving directory list.."});
    EXPECT_TRUE(silent.page.helptext().empty());

    PageRig cut;
    tessaly::testing::capturememory(cut.calc);
    cut.calc.misbehaviour().stopafterbytes = 38 + 3 * 44 + 30;
    cut.page.updatedirectorylist();
    EXPECT_EQ(cut.shell.laststatus(), "Some error occured!");
    EXPECT_EQ(cut.page.helptext(), kLabelMarkVariables);
}

TEST(ReceivePage, ReceiveSwitchesToThePackageAndOffersSave) {
    PageRig rig;
    tessaly::testing::capturememory(rig.calc);
    rig.page.updatedirectorylist();
    rig.mark({"test\\x"});
    rig.page.receiveselected();
    EXPECT_EQ(rig.shell.laststatus(), "1 variable(s) received.");
    ASSERT_EQ(rig.page.rows().size(), 1u);
    EXPECT_FALSE(rig.page.viewflag());
    EXPECT_TRUE(rig.page.packageflag());
    EXPECT_TRUE(rig.page.receiveenabled());
    EXPECT_TRUE(rig.page.savetofileenabled());
    EXPECT_EQ(rig.page.helptext(), kLabelSaveRequest);
    EXPECT_EQ(rig.page.calcview().size(), 3u);

    // With nothing marked, one ready check and the view stays.
    PageRig none;
    tessaly::testing::capturememory(none.calc);
    none.page.updatedirectorylist();
    none.page.receiveselected();
    EXPECT_EQ(none.shell.laststatus(), "0 variable(s) received.");
    EXPECT_TRUE(none.page.viewflag());
    EXPECT_FALSE(none.page.packageflag());
}

TEST(ReceivePage, SelectOnCalcEmptiesTheCommentAndOffersSave) {
    PageRig rig;
    tessaly::testing::capturememory(rig.calc);
    std::string error;
    ASSERT_TRUE(rig.calc.sendfromcalc({"test\\x"}, &error)) << error;
    rig.page.setmanual(true);
    rig.page.setcomment("old comment");
    rig.page.receiveselected();
    EXPECT_EQ(rig.page.helptext(), kLabelSaveSelect);
    EXPECT_TRUE(rig.page.comment().empty());
    EXPECT_TRUE(rig.page.packageflag());
    EXPECT_TRUE(rig.page.savetofileenabled());
    EXPECT_TRUE(rig.page.receiveenabled());
    EXPECT_EQ(rig.page.rows().size(), 1u);
}

} // namespace
