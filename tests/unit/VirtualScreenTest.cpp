#include <gtest/gtest.h>

#include "capture/VirtualScreen.h"

namespace {

// A 1920x1080 primary monitor with a 1280x1024 one left of it and 300
// pixels higher, listed in the order a system may enumerate them.
const MonitorLayout kLeftAndAbove = {CRect(-1280, -300, 0, 724), CRect(0, 0, 1920, 1080)};

// Three monitors of mixed sizes: a portrait one left of the primary and
// reaching above it, the 2560x1440 primary, and a 1920x1080 one right of it
// and lower. The rectangle around them has empty corners.
const MonitorLayout kThreeMixed = {CRect(2560, 360, 4480, 1440), CRect(-1080, -840, 0, 1080),
                                   CRect(0, 0, 2560, 1440)};

}  // namespace

TEST(VirtualScreen, TheImageStartsAtTheTopLeftMostMonitorAndHoldsThePrimaryWhereItLies)
{
    const VirtualScreen two = VirtualScreenOf(kLeftAndAbove);
    EXPECT_EQ(two.origin, CPoint(-1280, -300));
    EXPECT_EQ(two.size.cx, 3200);
    EXPECT_EQ(two.size.cy, 1380);
    // "Fullscreen" is the primary monitor, not the image's top-left corner.
    EXPECT_EQ(two.primary, CRect(1280, 300, 3200, 1380));

    const VirtualScreen three = VirtualScreenOf(kThreeMixed);
    EXPECT_EQ(three.origin, CPoint(-1080, -840));
    EXPECT_EQ(three.size.cx, 5560);
    EXPECT_EQ(three.size.cy, 2280);
    EXPECT_EQ(three.primary, CRect(1080, 840, 3640, 2280));

    // One monitor, or others only right of and below it: nothing moves.
    const VirtualScreen one = VirtualScreenOf({CRect(0, 0, 1920, 1080)});
    EXPECT_EQ(one.origin, CPoint(0, 0));
    EXPECT_EQ(one.primary, CRect(0, 0, 1920, 1080));
    const VirtualScreen rightBelow = VirtualScreenOf({CRect(0, 0, 1280, 1024), CRect(1280, 200, 3200, 1280)});
    EXPECT_EQ(rightBelow.origin, CPoint(0, 0));
    EXPECT_EQ(rightBelow.size.cx, 3200);
    EXPECT_EQ(rightBelow.size.cy, 1280);
    EXPECT_EQ(rightBelow.primary, CRect(0, 0, 1280, 1024));

    EXPECT_EQ(VirtualScreenOf({}).size.cx, 0);
}

TEST(VirtualScreen, ScreenAndImageCoordinatesDifferByTheOrigin)
{
    const VirtualScreen screen = VirtualScreenOf(kThreeMixed);
    // The left monitor's corner is the image's first pixel; the primary's
    // corner lies inside the image.
    EXPECT_EQ(ScreenToImage(screen, CPoint(-1080, -840)), CPoint(0, 0));
    EXPECT_EQ(ScreenToImage(screen, CPoint(0, 0)), CPoint(1080, 840));
    // A window on the left monitor, and one across the primary and the right one.
    EXPECT_EQ(ScreenToImage(screen, CRect(-1000, -800, -200, -100)), CRect(80, 40, 880, 740));
    EXPECT_EQ(ScreenToImage(screen, CRect(2000, 500, 3000, 900)), CRect(3080, 1340, 4080, 1740));
    for (const CRect& monitor : kThreeMixed)
        EXPECT_EQ(ImageToScreen(screen, ScreenToImage(screen, monitor)), monitor);
    EXPECT_EQ(ImageToScreen(screen, CPoint(0, 0)), screen.origin);
}

TEST(VirtualScreen, OnlyPointsOnAMonitorCountNotTheGapsBetweenMixedSizes)
{
    EXPECT_TRUE(IsOnAMonitor(kThreeMixed, CPoint(-1080, -840)));  // the left monitor's corner
    EXPECT_TRUE(IsOnAMonitor(kThreeMixed, CPoint(-500, 500)));
    EXPECT_TRUE(IsOnAMonitor(kThreeMixed, CPoint(4479, 1439)));  // the right one's last pixel
    EXPECT_FALSE(IsOnAMonitor(kThreeMixed, CPoint(100, -10)));   // above the primary
    EXPECT_FALSE(IsOnAMonitor(kThreeMixed, CPoint(3000, 100)));  // above the right one
    EXPECT_FALSE(IsOnAMonitor(kThreeMixed, CPoint(4480, 500)));  // past the far edge
    EXPECT_TRUE(IsOnAMonitor(kLeftAndAbove, CPoint(-1, -300)));
    EXPECT_FALSE(IsOnAMonitor(kLeftAndAbove, CPoint(-1, 724)));  // below the left one
}
