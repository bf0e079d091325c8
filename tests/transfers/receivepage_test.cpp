#include <gtest/gtest.h>

#include "transfers/rig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// Switching views and the button rules need no exchange; the rig's calculator stays idle.
class ReceivePageViews : public ::testing::Test {
protected:
    ReceiveRig rig;
    void SetUp() override {
        tessaly::testing::capturememory(rig.calc);
        rig.page.Button30click();
    }
    void toreceived() {
        rig.page.setcalculatordown(false);
        rig.page.SpeedButton2Click();
    }
    void tocalculator() {
        rig.page.setcalculatordown(true);
        rig.page.SpeedButton1Click();
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
    rig.page.SpeedButton1Click();
    EXPECT_TRUE(rig.page.rows()[1].selected);
    toreceived();
    changes = 0;
    rig.page.setcalculatordown(false);
    rig.page.SpeedButton2Click();
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(rig.page.viewflag());
}

TEST_F(ReceivePageViews, SelectionDecidesReceiveInTheCalculatorView) {
    rig.page.setselected(0, true);
    rig.page.Listbox2MouseUp();
    EXPECT_TRUE(rig.page.receiveenabled());
    rig.page.setselected(0, false);
    rig.page.Listbox2MouseUp();
    EXPECT_FALSE(rig.page.receiveenabled());

    rig.page.setmanual(true);
    rig.page.manualClick();
    EXPECT_TRUE(rig.page.receiveenabled());
    rig.page.setmanual(false);
    rig.page.manualClick();
    EXPECT_FALSE(rig.page.receiveenabled());

    // Selection does not survive a trip to the other view.
    rig.page.setselected(2, true);
    toreceived();
    tocalculator();
    EXPECT_FALSE(rig.page.receiveenabled());
}

TEST(ReceivePageView, ViewIsOfferedForOneSelectedTextInThePackage) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("t", 0x0B, {0, 1, 0x20, 'h', 'i', 0, 0xE0}),
                                                      calcvariable("n", 0x00, {0x0C, 0x01, 0x1F})}}};
    rig.listandmark({"main\\t", "main\\n"});
    rig.page.Button1Click();
    ASSERT_EQ(rig.page.rows().size(), 2u);
    EXPECT_TRUE(rig.page.packageflag());
    EXPECT_FALSE(rig.page.viewenabled());
    rig.page.setselected(0, true);
    rig.page.Listbox2MouseUp();
    EXPECT_TRUE(rig.page.viewenabled());
    rig.page.setselected(0, false);
    rig.page.setselected(1, true);
    rig.page.Listbox2MouseUp();
    EXPECT_FALSE(rig.page.viewenabled());
}

} // namespace
