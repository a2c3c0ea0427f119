// The off-screen drawing context: drawing lands on the target in one copy
// when the object goes away, and only inside the area it covers.
#include <gtest/gtest.h>

#include "framework/MemDC.h"

namespace {

// A memory context over a white 100 x 80 bitmap as the drawing target.
class Target {
public:
    Target()
    {
        CClientDC screen(nullptr);
        m_dc.CreateCompatibleDC(screen);
        m_bitmap.CreateCompatibleBitmap(screen, 100, 80);
        m_old = ::SelectObject(m_dc, m_bitmap);
        m_dc.FillSolidRect(CRect(0, 0, 100, 80), RGB(255, 255, 255));
    }
    ~Target() { ::SelectObject(m_dc, m_old); }
    CDC m_dc;
    COLORREF At(int x, int y) const { return ::GetPixel(m_dc, x, y); }

private:
    CBitmap m_bitmap;
    HGDIOBJ m_old;
};

}  // namespace

TEST(MemDCOffScreen, NothingReachesTheTargetBeforeTheEndThenAllAtOnce)
{
    Target target;
    ::SetBkColor(target.m_dc, RGB(255, 255, 255));
    {
        const CRect rc(10, 10, 60, 50);
        COrvoCaptureMemDC mem(&target.m_dc, &rc);
        mem.FillSolidRect(CRect(20, 20, 30, 30), RGB(0, 0, 255));
        EXPECT_EQ(target.At(25, 25), RGB(255, 255, 255)) << "drawn off-screen first";
    }
    EXPECT_EQ(target.At(25, 25), RGB(0, 0, 255)) << "same logical coordinates on the target";
    EXPECT_EQ(target.At(19, 25), RGB(255, 255, 255));
}

TEST(MemDCOffScreen, PassThatDrawsNothingStillCoversTheRectWithTheTargetBackground)
{
    Target target;
    ::SetBkColor(target.m_dc, RGB(10, 20, 30));
    {
        const CRect rc(10, 15, 40, 35);
        COrvoCaptureMemDC mem(&target.m_dc, &rc);
    }
    EXPECT_EQ(target.At(10, 15), RGB(10, 20, 30));
    EXPECT_EQ(target.At(39, 34), RGB(10, 20, 30));
    EXPECT_EQ(target.At(40, 34), RGB(255, 255, 255)) << "right edge is outside";
    EXPECT_EQ(target.At(39, 35), RGB(255, 255, 255)) << "bottom edge is outside";
    EXPECT_EQ(target.At(9, 15), RGB(255, 255, 255));
}

TEST(MemDCOffScreen, WithoutARectItCoversExactlyTheClipBox)
{
    Target target;
    ::IntersectClipRect(target.m_dc, 30, 20, 70, 50);
    ::SetBkColor(target.m_dc, RGB(0, 128, 0));
    {
        COrvoCaptureMemDC mem(&target.m_dc);
        EXPECT_EQ(mem.Rect(), CRect(30, 20, 70, 50));
        mem.FillSolidRect(CRect(0, 0, 100, 80), RGB(200, 0, 0));  // clipped to what it covers
    }
    ::SelectClipRgn(target.m_dc, nullptr);
    EXPECT_EQ(target.At(30, 20), RGB(200, 0, 0));
    EXPECT_EQ(target.At(69, 49), RGB(200, 0, 0));
    EXPECT_EQ(target.At(29, 20), RGB(255, 255, 255));
    EXPECT_EQ(target.At(70, 49), RGB(255, 255, 255));
    EXPECT_EQ(target.At(5, 5), RGB(255, 255, 255));
}

TEST(MemDCOffScreen, TargetSelectionIsUntouchedAndTheContextIsReleased)
{
    Target target;
    const HGDIOBJ before = ::GetCurrentObject(target.m_dc, OBJ_BITMAP);
    const long liveBefore = AfxLiveGdiHandles();
    for (int i = 0; i < 50; ++i) {
        const CRect rc(0, 0, 50, 50);
        COrvoCaptureMemDC mem(&target.m_dc, &rc);
        EXPECT_EQ(AfxLiveGdiHandles(), liveBefore + 2) << "its context and bitmap";
    }
    EXPECT_EQ(::GetCurrentObject(target.m_dc, OBJ_BITMAP), before);
    EXPECT_EQ(AfxLiveGdiHandles(), liveBefore) << "GDI objects leak";
}
