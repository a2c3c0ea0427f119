// The options dialog's rules without the dialog: file name extension,
// editable controls, magnifier placement and the stored position.
#include <gtest/gtest.h>

#include "capture/OptionsLogic.h"

TEST(OptionsFileName, TheLastExtensionGivesWayToTheFormats)
{
    EXPECT_EQ(NormalizeFileName(L"shot.jpg", L"gif"), L"shot.gif");
    EXPECT_EQ(NormalizeFileName(L"shot", L"jpg"), L"shot.jpg");
    EXPECT_EQ(NormalizeFileName(L"my.report", L"png"), L"my.png");
    EXPECT_EQ(NormalizeFileName(L"shot.jpg", L""), L"shot.");
    EXPECT_EQ(NormalizeFileName(L"shot.", L""), L"shot.");
    EXPECT_EQ(NormalizeFileName(L"", L"png"), L".png");
    EXPECT_EQ(NormalizeFileName(L"a.b.c", L"jpg"), L"a.b.jpg");
    // Applying it again changes nothing.
    EXPECT_EQ(NormalizeFileName(NormalizeFileName(L"x.y", L"gif"), L"gif"), L"x.gif");
}

TEST(OptionsControls, OnlyTheClipboardAloneMakesNameAndFormatIrrelevant)
{
    EXPECT_FALSE(IsFileNameEditable(true, false, false));
    EXPECT_TRUE(IsFileNameEditable(false, false, false));
    EXPECT_TRUE(IsFileNameEditable(true, true, false));
    EXPECT_TRUE(IsFileNameEditable(true, false, true));
    EXPECT_TRUE(IsFileNameEditable(false, true, true));
}

TEST(OptionsMagnifier, EdgesGrowOutwardsToEvenNumbers)
{
    EXPECT_EQ(EvenEdges(CRect(387, 1, 640, 237)), CRect(386, 0, 640, 238));
    EXPECT_EQ(EvenEdges(CRect(2, 4, 6, 8)), CRect(2, 4, 6, 8));
    EXPECT_EQ(EvenEdges(CRect(3, 5, 7, 9)), CRect(2, 4, 8, 10));
}

TEST(OptionsWindowPos, EightNumbersRoundTripAndFewerFail)
{
    WINDOWPLACEMENT wp{};
    wp.flags = 2;
    wp.showCmd = SW_SHOWNORMAL;
    wp.ptMinPosition = {-1, -1};
    wp.ptMaxPosition = {-8, -30};
    wp.rcNormalPosition = {1500, 700, 2140, 937};
    const CString text = FormatWindowPos(wp);
    EXPECT_EQ(text, L"2,1,-1,-1,-8,-30,1500,700");

    WINDOWPLACEMENT back{};
    ASSERT_TRUE(ParseWindowPos(text, &back));
    EXPECT_EQ(back.flags, 2u);
    EXPECT_EQ(back.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(back.ptMaxPosition.y, -30);
    EXPECT_EQ(back.rcNormalPosition.left, 1500);
    EXPECT_EQ(back.rcNormalPosition.top, 700);

    WINDOWPLACEMENT untouched{};
    EXPECT_FALSE(ParseWindowPos(L"", &untouched));
    EXPECT_FALSE(ParseWindowPos(L"2,1,-1,-1,-8,-30,1500", &untouched));
    EXPECT_FALSE(ParseWindowPos(L"2,1,x,-1,-8,-30,1500,700", &untouched));
    EXPECT_FALSE(ParseWindowPos(L"garbage", &untouched));
    EXPECT_EQ(untouched.rcNormalPosition.left, 0);
}

TEST(OptionsWindowPos, RestoredOnlyOnAMonitorAndAtTheCurrentSize)
{
    WINDOWPLACEMENT current{};
    current.rcNormalPosition = {100, 100, 740, 337};  // 640 x 237
    WINDOWPLACEMENT out{};

    const MonitorLayout one = {CRect(0, 0, 1280, 1024)};
    ASSERT_TRUE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,300,200", current, one, &out));
    EXPECT_EQ(out.length, sizeof(WINDOWPLACEMENT));
    EXPECT_EQ(CRect(out.rcNormalPosition), CRect(300, 200, 940, 437));
    EXPECT_EQ(out.showCmd, 1u);
    EXPECT_FALSE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,1280,10", current, one, &out));
    EXPECT_TRUE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,1279,1023", current, one, &out));

    // Monitors left of and above the primary one have negative coordinates:
    // a dialog left there comes back there.
    const MonitorLayout three = {CRect(-1080, -840, 0, 1080), CRect(0, 0, 2560, 1440), CRect(2560, 360, 4480, 1440)};
    ASSERT_TRUE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,-900,-700", current, three, &out));
    EXPECT_EQ(CRect(out.rcNormalPosition), CRect(-900, -700, -260, -463));
    EXPECT_TRUE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,3000,400", current, three, &out));
    // In the rectangle around the monitors but on none of them: centred.
    EXPECT_FALSE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,100,-10", current, three, &out));
    EXPECT_FALSE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,3000,100", current, three, &out));
    // A monitor since unplugged: centred.
    EXPECT_FALSE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,-900,-700", current, one, &out));
    // Too few fields: centred.
    EXPECT_FALSE(StoredPlacementToRestore(L"0,1,-1,-1,-1,-1,300", current, one, &out));
}
