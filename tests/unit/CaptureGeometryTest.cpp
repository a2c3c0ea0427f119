// The capture window's arithmetic: drag rectangles, wheel zoom, the
// magnifier's source and the colour readout.
#include <gtest/gtest.h>

#include "capture/CaptureGeometry.h"

namespace {

// The drag rectangle the way the window builds it: the press, then the moves.
CRect Drag(POINT from, std::initializer_list<POINT> moves)
{
    CRect rc(from.x, from.y, from.x, from.y);
    for (POINT pt : moves)
        rc = DragAfterMove(rc, pt);
    return NormalizedRect(rc);
}

}  // namespace

TEST(CaptureDrag, RectanglesIncludeTheEndPixelOnlyWhenDraggingRightAndDown)
{
    EXPECT_EQ(Drag({10, 10}, {{20, 20}}), CRect(10, 10, 21, 21));
    EXPECT_EQ(Drag({10, 10}, {{20, 20}}).Width(), 11);
    const CRect up = Drag({20, 20}, {{10, 10}});
    EXPECT_EQ(up, CRect(11, 11, 20, 20));
    EXPECT_EQ(up.Width(), 9);
    EXPECT_EQ(up.Height(), 9);
    // A click without a move is an empty rectangle: the whole image.
    EXPECT_TRUE(Drag({30, 40}, {}).IsRectEmpty());
    // Away and back to the start pixel: that one pixel.
    const CRect back = Drag({30, 40}, {{90, 5}, {30, 40}});
    EXPECT_EQ(back, CRect(30, 40, 31, 41));
    // Only the last move counts.
    EXPECT_EQ(Drag({0, 0}, {{500, 500}, {4, 3}}), CRect(0, 0, 5, 4));
    // One pixel left of the start: no width at all.
    EXPECT_TRUE(Drag({30, 40}, {{29, 60}}).IsRectEmpty());
}

TEST(CaptureZoom, WholeNotchesStepTheZoomWithinOneToSixteen)
{
    EXPECT_EQ(ZoomAfterWheel(2.0, 120), 3.0);
    EXPECT_EQ(ZoomAfterWheel(2.0, 119), 2.0);
    EXPECT_EQ(ZoomAfterWheel(2.0, -119), 2.0);
    EXPECT_EQ(ZoomAfterWheel(2.0, 240), 4.0);
    EXPECT_EQ(ZoomAfterWheel(2.0, 359), 4.0);  // truncated toward zero
    EXPECT_EQ(ZoomAfterWheel(5.0, -250), 3.0);
    EXPECT_EQ(ZoomAfterWheel(16.0, 120), 16.0);
    EXPECT_EQ(ZoomAfterWheel(15.0, 480), 16.0);
    EXPECT_EQ(ZoomAfterWheel(1.0, -120), 1.0);
    EXPECT_EQ(ZoomAfterWheel(3.0, -1200), 1.0);
    double zoom = 2.0;
    for (int i = 0; i < 40; ++i)
        zoom = ZoomAfterWheel(zoom, 120);
    EXPECT_EQ(zoom, 16.0);
}

TEST(MagnifierGeometry, SourceStartsHalfAViewDividedByTheZoomBeforeTheCursor)
{
    // 254 / 2 = 127; 127 / 2 = 63.5, truncated to 63; 128 / 2 = 64.
    EXPECT_EQ(MagnifierSourceRect({100, 100}, 254, 256, 2.0), CRect(37, 36, 291, 292));
    // 127 / 4 = 31.75 -> 31; 128 / 4 = 32.
    EXPECT_EQ(MagnifierSourceRect({3, 5}, 254, 256, 4.0), CRect(-28, -27, 226, 229));
    EXPECT_EQ(MagnifierSourceRect({0, 0}, 254, 256, 1.0), CRect(-127, -128, 127, 128));
    // Odd sizes halve down first: 9 / 2 = 4, 4 / 16 = 0.25 -> 0.
    EXPECT_EQ(MagnifierSourceRect({50, 60}, 9, 9, 16.0), CRect(50, 60, 59, 69));
}

TEST(MagnifierGeometry, ShownPartIsWhatReachesTheViewClippedToTheImage)
{
    // Inside: ceil(254 / 2) columns, ceil(256 / 2) rows from the source corner.
    MagnifierGeometry g = ComputeMagnifierGeometry({100, 100}, 254, 256, 2.0, 1920, 1080);
    EXPECT_EQ(g.shown, CRect(37, 36, 164, 164));
    EXPECT_EQ(g.dest, CRect(0, 0, 254, 256));

    // Top-left corner: the picture starts where the image does.
    g = ComputeMagnifierGeometry({3, 5}, 254, 256, 4.0, 1920, 1080);
    EXPECT_EQ(g.shown, CRect(0, 0, 36, 37));  // ceil(254/4) = 64 from -28; 64 from -27
    EXPECT_EQ(g.dest.left, 28 * 4);
    EXPECT_EQ(g.dest.top, 27 * 4);
    EXPECT_EQ(g.dest.right, 64 * 4);

    // Bottom-right: clipped at the image's far edges.
    g = ComputeMagnifierGeometry({1919, 1079}, 170, 158, 3.0, 1920, 1080);
    EXPECT_EQ(g.shown.right, 1920);
    EXPECT_EQ(g.shown.bottom, 1080);
    EXPECT_EQ(g.dest.Width(), g.shown.Width() * 3);

    // Entirely beyond the image: nothing to copy.
    g = ComputeMagnifierGeometry({5000, 5000}, 170, 158, 2.0, 1920, 1080);
    EXPECT_TRUE(g.shown.IsRectEmpty());
    EXPECT_TRUE(g.dest.IsRectEmpty());
}

TEST(MagnifierGeometry, CursorPixelSitsInTheMiddleAtEveryZoom)
{
    for (int zoom = 1; zoom <= 16; ++zoom) {
        for (const POINT p : {POINT{400, 300}, POINT{0, 0}, POINT{1279, 1023}}) {
            const MagnifierGeometry g = ComputeMagnifierGeometry(p, 338, 314, zoom, 1280, 1024);
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " at " << p.x << "," << p.y);
            ASSERT_TRUE(g.shown.PtInRect(p));
            // The cursor's square begins at most one square before the centre.
            const int x = g.dest.left + (p.x - g.shown.left) * zoom;
            const int y = g.dest.top + (p.y - g.shown.top) * zoom;
            EXPECT_LE(x, 338 / 2);
            EXPECT_GT(x + zoom, 338 / 2);
            EXPECT_LE(y, 314 / 2);
            EXPECT_GT(y + zoom, 314 / 2);
            // Every shown pixel is needed: the last one still reaches the view.
            EXPECT_LT(g.dest.right - zoom, 338);
            EXPECT_LT(g.dest.bottom - zoom, 314);
        }
    }
}

TEST(ColorReadout, HashSixHexDigitsRedFirstAndATrailingSpace)
{
    EXPECT_EQ(FormatColorReadout(RGB(255, 0, 0)), L"#FF0000 ");
    EXPECT_EQ(FormatColorReadout(RGB(0x12, 0xAB, 0x0C)), L"#12AB0C ");
    EXPECT_EQ(FormatColorReadout(RGB(0, 0, 0)), L"#000000 ");
}
