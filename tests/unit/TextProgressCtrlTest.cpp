// The self-drawn progress bar: its message table and what it paints, read
// back from the screen.
#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "tests/support/TopDownBitmapInfo.h"
#include "ui/TextProgressCtrl.h"

namespace {

constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kGreen = RGB(0, 160, 0);

// The control with its paints counted.
class CountingBar : public CTextProgressCtrl {
public:
    explicit CountingBar(DWORD style = WS_VISIBLE | PBS_SMOOTH, CRect rc = CRect(20, 20, 420, 60))
    {
        Create(style, rc, &HostWindow(), 123);
        ::UpdateWindow(m_hWnd);
        m_paints = 0;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++m_paints;
        return CTextProgressCtrl::WindowProc(message, wParam, lParam);
    }
    bool HasPendingPaint() const
    {
        RECT rc;
        return ::GetUpdateRect(m_hWnd, &rc, FALSE) != FALSE;
    }
    int m_paints = 0;
};

// The client area as the screen shows it, row by row.
class Snapshot {
public:
    explicit Snapshot(HWND hwnd)
    {
        RECT rc;
        ::GetClientRect(hwnd, &rc);
        m_width = rc.right;
        m_height = rc.bottom;
        const BITMAPINFO bi = TopDownBitmapInfo(m_width, m_height);
        void* bits = nullptr;
        HDC screen = ::GetDC(hwnd);
        HDC mem = ::CreateCompatibleDC(screen);
        HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(mem, dib);
        ::BitBlt(mem, 0, 0, m_width, m_height, screen, 0, 0, SRCCOPY);
        ::GdiFlush();
        const auto* p = static_cast<const DWORD*>(bits);
        m_pixels.resize(static_cast<size_t>(m_width) * m_height);
        for (size_t i = 0; i < m_pixels.size(); ++i)
            m_pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
        ::SelectObject(mem, old);
        ::DeleteObject(dib);
        ::DeleteDC(mem);
        ::ReleaseDC(hwnd, screen);
    }
    COLORREF At(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    // Pixels of exactly that colour inside [x0, x1) x [0, height).
    int Count(COLORREF color, int x0, int x1) const
    {
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = x0; x < x1; ++x)
                n += At(x, y) == color;
        return n;
    }
    int Area(int x0, int x1) const { return (x1 - x0) * m_height; }
    int m_width = 0, m_height = 0;

private:
    std::vector<COLORREF> m_pixels;
};

void SetColors(CTextProgressCtrl& bar, COLORREF barColor, COLORREF bkColor)
{
    bar.SendMessage(PBM_SETBARCOLOR, 0, barColor);
    bar.SendMessage(PBM_SETBKCOLOR, 0, bkColor);
}

void Repaint(CWnd& bar) { bar.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

}  // namespace

// --- the message table ----------------------------------------------------------

TEST(TextProgressMessages, NewControlStartsAt0Of0To100WithStep1)
{
    CountingBar bar;
    PBRANGE range{-1, -1};
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 0);
    EXPECT_EQ(bar.SendMessage(PBM_SETSTEP, 7), 1);
    EXPECT_EQ(bar.SendMessage(PBM_SETSTEP, 1), 7);
}

TEST(TextProgressMessages, SetRangeReadsBothHalvesUnsignedAndPacksTheResult)
{
    CountingBar bar;
    EXPECT_EQ(static_cast<DWORD>(bar.SendMessage(PBM_SETRANGE, 0, static_cast<LPARAM>(0xFFFF0000u))), 0xFFFF0000u);
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, FALSE, 0), 65535);

    EXPECT_EQ(static_cast<DWORD>(bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(40000, 50000))),
              static_cast<DWORD>(MAKELONG(40000, 50000)));
    EXPECT_EQ(bar.SendMessage(PBM_GETRANGE, TRUE, 0), 40000) << "not sign-extended";

    // The 32-bit range is stored whole but answered with the low 16 bits.
    const DWORD packed = static_cast<DWORD>(bar.SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(-5), 70000));
    EXPECT_EQ(packed, static_cast<DWORD>(MAKELONG(static_cast<WORD>(-5), static_cast<WORD>(70000))));
    PBRANGE range{};
    bar.SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, -5);
    EXPECT_EQ(range.iHigh, 70000);
}

TEST(TextProgressMessages, PositionIsNeverClampedOrWrapped)
{
    CountingBar bar;
    bar.SendMessage(PBM_SETRANGE32, 0, 10);
    bar.SendMessage(PBM_SETSTEP, 4);
    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 8), 0);
    EXPECT_EQ(bar.SendMessage(PBM_STEPIT), 8);
    EXPECT_EQ(bar.SendMessage(PBM_STEPIT), 12);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 16);
    EXPECT_EQ(bar.SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(-20)), 16);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), -4);
}

TEST(TextProgressMessages, ColourSettersAnswerThePreviousColour)
{
    CountingBar bar;
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBARCOLOR, 0, kRed)), CLR_DEFAULT);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBARCOLOR, 0, kBlue)), kRed);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(PBM_SETBKCOLOR, 0, kGreen)), CLR_DEFAULT);
    EXPECT_EQ(static_cast<COLORREF>(bar.SendMessage(TPCM_SETTEXTCOLOR, 0, kRed)), CLR_DEFAULT);
    EXPECT_EQ(bar.ChangeTextColor(CLR_DEFAULT), kRed);
    EXPECT_EQ(bar.ChangeBkColor(kRed), kGreen);
}

TEST(TextProgressMessages, TextIsAPrivateCopyAnsweredByGetText)
{
    CountingBar bar;
    bar.SetWindowText(L"Connecting: localhost");
    EXPECT_EQ(bar.GetWindowText(), L"Connecting: localhost");
    wchar_t small[5] = {L'x', L'x', L'x', L'x', L'x'};
    EXPECT_EQ(bar.SendMessage(WM_GETTEXT, 5, reinterpret_cast<LPARAM>(small)), 4);
    EXPECT_STREQ(small, L"Conn");
    bar.SendMessage(WM_SETTEXT, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), L"");
}

// --- repainting -------------------------------------------------------------------

TEST(TextProgressRepaint, RangeAndStepNeverRepaint)
{
    CountingBar bar;
    bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 500));
    bar.SendMessage(PBM_SETRANGE32, 0, 1000);
    bar.SendMessage(PBM_SETSTEP, 3);
    EXPECT_EQ(bar.m_paints, 0);
    EXPECT_FALSE(bar.HasPendingPaint());
}

TEST(TextProgressRepaint, PositionRepaintsAtOnceOnlyWhenTheBarMovesAPixel)
{
    CountingBar bar;  // 400 pixels wide
    bar.SendMessage(PBM_SETRANGE32, 0, 4000);
    bar.SendMessage(PBM_SETPOS, 100);  // 10 px: moves from the unknown extent
    EXPECT_EQ(bar.m_paints, 1);
    EXPECT_FALSE(bar.HasPendingPaint());
    bar.SendMessage(PBM_SETPOS, 105);  // still 10 px
    bar.SendMessage(PBM_SETPOS, 109);
    EXPECT_EQ(bar.m_paints, 1);
    EXPECT_FALSE(bar.HasPendingPaint());
    bar.SendMessage(PBM_SETPOS, 110);  // 11 px
    EXPECT_EQ(bar.m_paints, 2);
    bar.SendMessage(PBM_DELTAPOS, 10);  // 12 px
    EXPECT_EQ(bar.m_paints, 3);
}

TEST(TextProgressRepaint, FirstPositionAfterAResizeAlwaysRepaints)
{
    CountingBar bar;
    bar.SendMessage(PBM_SETPOS, 50);
    const int before = bar.m_paints;
    bar.SendMessage(PBM_SETPOS, 50);
    EXPECT_EQ(bar.m_paints, before);
    ::SetWindowPos(bar, nullptr, 0, 0, 300, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    ::ValidateRect(bar, nullptr);
    const int resized = bar.m_paints;
    bar.SendMessage(PBM_SETPOS, 50);
    EXPECT_EQ(bar.m_paints, resized + 1);
}

TEST(TextProgressRepaint, SameTextDoesNotInvalidateANewOneDoes)
{
    CountingBar bar;
    bar.SetWindowText(L"abc");
    EXPECT_TRUE(bar.HasPendingPaint());
    ::UpdateWindow(bar);
    EXPECT_FALSE(bar.HasPendingPaint());
    bar.SetWindowText(L"abc");
    EXPECT_FALSE(bar.HasPendingPaint());
    bar.SendMessage(TPCM_SHOWTEXT, TRUE);  // unchanged flag
    EXPECT_FALSE(bar.HasPendingPaint());
    bar.SendMessage(TPCM_SHOWTEXT, FALSE);
    EXPECT_TRUE(bar.HasPendingPaint());
    ::UpdateWindow(bar);
    bar.SendMessage(PBM_SETBARCOLOR, 0, CLR_DEFAULT);  // even when unchanged
    EXPECT_TRUE(bar.HasPendingPaint());
}

TEST(TextProgressRepaint, EraseDrawsNothing)
{
    CountingBar bar;
    HDC dc = ::GetDC(bar);
    EXPECT_EQ(bar.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), TRUE);
    ::ReleaseDC(bar, dc);
}

// --- what it paints ------------------------------------------------------------

TEST(TextProgressPaint, EmptyBarShowsZeroPercentInTheBarColourOnTheBackground)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    Repaint(bar);
    Snapshot shot(bar);
    const int w = shot.m_width;
    EXPECT_GT(shot.Count(kRed, 0, w), 0) << "the text 0% in the bar colour";
    EXPECT_LT(shot.Count(kRed, 0, w), shot.Area(0, w) / 10);
    EXPECT_EQ(shot.At(1, 1), kBlue);
    EXPECT_EQ(shot.At(w - 1, shot.m_height - 1), kBlue);
    // Centred: nothing of the text near either end.
    EXPECT_EQ(shot.Count(kRed, 0, w / 4), 0);
    EXPECT_EQ(shot.Count(kRed, w * 3 / 4, w), 0);
}

TEST(TextProgressPaint, FullBarShowsTheTextInTheBackgroundColour)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    bar.SendMessage(PBM_SETPOS, 100);
    Repaint(bar);
    Snapshot shot(bar);
    const int w = shot.m_width;
    EXPECT_GT(shot.Count(kBlue, 0, w), 0);
    EXPECT_EQ(shot.At(0, 0), kRed);
    EXPECT_EQ(shot.At(w - 1, shot.m_height - 1), kRed);
    EXPECT_GT(shot.Count(kRed, 0, w), shot.Area(0, w) * 8 / 10);
}

TEST(TextProgressPaint, TextChangesColourExactlyAtTheBarEdge)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    bar.SetWindowText(L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");
    bar.SendMessage(PBM_SETPOS, 50);
    Repaint(bar);
    Snapshot shot(bar);
    const int split = shot.m_width / 2;
    // Left of the edge: red bar with blue letters; right: blue with red.
    EXPECT_GT(shot.Count(kBlue, 0, split), 0);
    EXPECT_GT(shot.Count(kRed, split, shot.m_width), 0);
    EXPECT_EQ(shot.At(0, 0), kRed);
    EXPECT_EQ(shot.At(shot.m_width - 1, 0), kBlue);
    EXPECT_GT(shot.Count(kRed, 0, split), shot.Area(0, split) / 2);
    EXPECT_GT(shot.Count(kBlue, split, shot.m_width), shot.Area(split, shot.m_width) / 2);
}

TEST(TextProgressPaint, ExplicitTextColourIsUsedOnBothSides)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    bar.SendMessage(TPCM_SETTEXTCOLOR, 0, kGreen);
    bar.SetWindowText(L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");
    bar.SendMessage(PBM_SETPOS, 50);
    Repaint(bar);
    Snapshot shot(bar);
    const int split = shot.m_width / 2;
    EXPECT_GT(shot.Count(kGreen, 0, split), 0);
    EXPECT_GT(shot.Count(kGreen, split, shot.m_width), 0);
    EXPECT_EQ(shot.Count(kBlue, 0, split), 0) << "no inverse text left of the edge";
    EXPECT_EQ(shot.Count(kRed, split, shot.m_width), 0) << "no inverse text right of the edge";
}

TEST(TextProgressPaint, TextReplacesThePercentageAndAnEmptyTextBringsItBack)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    bar.SendMessage(TPCM_SETTEXTCOLOR, 0, kGreen);
    Repaint(bar);
    const int percentPixels = Snapshot(bar).Count(kGreen, 0, 400);
    bar.SetWindowText(L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");
    ::UpdateWindow(bar);
    EXPECT_GT(Snapshot(bar).Count(kGreen, 0, 400), percentPixels * 3);
    bar.SendMessage(WM_SETTEXT, 0, 0);
    ::UpdateWindow(bar);
    EXPECT_EQ(Snapshot(bar).Count(kGreen, 0, 400), percentPixels);
    bar.ChangeShowText(FALSE);
    ::UpdateWindow(bar);
    EXPECT_EQ(Snapshot(bar).Count(kGreen, 0, 400), 0);
}

TEST(TextProgressPaint, VerticalBarFillsFromTheBottomWithoutText)
{
    CountingBar bar(WS_VISIBLE | PBS_SMOOTH | PBS_VERTICAL, CRect(450, 10, 490, 190));
    SetColors(bar, kRed, kBlue);
    bar.SendMessage(PBM_SETPOS, 25);
    Repaint(bar);
    Snapshot shot(bar);
    const int h = shot.m_height;
    const int split = h - h / 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < shot.m_width; ++x)
            ASSERT_EQ(shot.At(x, y), y >= split ? kRed : kBlue) << x << "," << y;
}

TEST(TextProgressPaint, EmptyRangePaintsNothing)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    Repaint(bar);
    bar.SendMessage(PBM_SETRANGE32, 5, 5);
    bar.SendMessage(PBM_SETBKCOLOR, 0, kGreen);
    ::UpdateWindow(bar);
    EXPECT_EQ(Snapshot(bar).Count(kGreen, 0, 400), 0) << "the old picture stays";
}

TEST(TextProgressPaint, PartialRepaintKeepsTheColoursAtTheEdge)
{
    CountingBar bar;
    SetColors(bar, kRed, kBlue);
    bar.SetWindowText(L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");
    bar.SendMessage(PBM_SETPOS, 50);
    Repaint(bar);
    // Paint only a band around the edge, as when another window uncovers it.
    bar.SendMessage(PBM_SETBARCOLOR, 0, kGreen);
    ::ValidateRect(bar, nullptr);
    const RECT band{150, 0, 350, 40};
    ::InvalidateRect(bar, &band, TRUE);
    ::UpdateWindow(bar);
    Snapshot shot(bar);
    EXPECT_GT(shot.Count(kGreen, 150, 200), shot.Area(150, 200) / 2) << "new bar colour left of the edge";
    EXPECT_GT(shot.Count(kBlue, 150, 200), 0) << "letters over the bar in the background colour";
    EXPECT_GT(shot.Count(kGreen, 200, 350), 0) << "letters over the rest in the bar colour";
    EXPECT_EQ(shot.Count(kGreen, 0, 150), 0) << "outside the band nothing was painted";
    EXPECT_EQ(shot.Count(kGreen, 350, 400), 0);
}
