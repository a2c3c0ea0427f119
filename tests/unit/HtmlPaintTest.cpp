#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "TestSupport.h"
#include "framework/Gdi.h"
#include "tests/support/TopDownBitmapInfo.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "ui/HtmlPaint.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A 32-bit bitmap in a memory DC whose pixels the test reads directly.
class Surface {
public:
    Surface(int width, int height) : m_width(width), m_height(height)
    {
        m_dc.CreateCompatibleDC(nullptr);
        const BITMAPINFO bi = TopDownBitmapInfo(width, height);
        void* bits = nullptr;
        m_bitmap.Attach(::CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<uint32_t*>(bits);
        m_selection = std::make_unique<CSelection>(m_dc, m_bitmap);
        Fill(RGB(200, 100, 50));
    }
    void Fill(COLORREF color)
    {
        const RECT all{0, 0, m_width, m_height};
        m_dc.FillSolidRect(all, color);
    }
    HDC Dc() const { return m_dc; }
    RECT Rect() const { return {0, 0, m_width, m_height}; }
    COLORREF Pixel(int x, int y) const
    {
        ::GdiFlush();
        const uint32_t p = m_bits[y * m_width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width, m_height;
    CDC m_dc;
    CBitmap m_bitmap;
    uint32_t* m_bits = nullptr;
    std::unique_ptr<CSelection> m_selection;
};

// The About box's own text and font, read from its dialog.
struct AboutText {
    std::wstring markup;
    LOGFONTW font;
    RECT client;
};

AboutText ReadAboutText()
{
    CAboutDlg dlg;
    EXPECT_TRUE(dlg.Create(IDD_ABOUTBOX, &HostWindow()));
    AboutText about{dlg.m_text.GetWindowText().Str(), WindowFontDescription(dlg.m_text), {}};
    dlg.m_text.GetClientRect(&about.client);
    dlg.DestroyWindow();
    return about;
}

bool InAnyLink(const std::vector<HtmlLink>& links, int x, int y)
{
    const POINT pt{x, y};
    for (const HtmlLink& link : links)
        if (::PtInRect(&link.rect, pt))
            return true;
    return false;
}

}  // namespace

TEST(HtmlPaint, TheAboutTextsFirstLineIsBoldAndSixUnitsLarger)
{
    const AboutText about = ReadAboutText();
    ASSERT_NE(about.markup.find(L"OrvoCapture v2.0"), std::wstring::npos);
    Surface painted(about.client.right, about.client.bottom);
    HtmlDrawState state;
    PaintHtml(painted.Dc(), painted.Rect(), about.markup, about.font, kBlack, kWhite, state);

    // The same words drawn by hand in the font the first line should have.
    LOGFONTW big = about.font;
    big.lfHeight -= 6;
    big.lfWeight = FW_BOLD;
    CFont font;
    ASSERT_TRUE(font.CreateFontIndirect(&big));
    Surface expected(about.client.right, about.client.bottom);
    expected.Fill(kWhite);
    TEXTMETRICW tm{};
    {
        CSelection selection(expected.Dc(), font);
        ::SetTextColor(expected.Dc(), kBlack);
        ::SetBkColor(expected.Dc(), kWhite);
        ::TextOutW(expected.Dc(), 0, 0, L"OrvoCapture v2.0", 16);
        ::GetTextMetricsW(expected.Dc(), &tm);
    }
    ASSERT_GT(tm.tmHeight, 0);
    int differing = 0, ink = 0;
    for (int y = 0; y < tm.tmHeight; ++y)
        for (int x = 0; x < expected.Width(); ++x) {
            differing += painted.Pixel(x, y) != expected.Pixel(x, y);
            ink += expected.Pixel(x, y) != kWhite;
        }
    EXPECT_GT(ink, 100);
    EXPECT_EQ(differing, 0);
    // Balanced markup leaves nothing for the next paint.
    EXPECT_EQ(state.bold, 0);
    EXPECT_FALSE(state.inLink);
}

TEST(HtmlPaint, LinksArePureBlueUnderlinedAndRecordedWhereTheirTextWasDrawn)
{
    const AboutText about = ReadAboutText();
    Surface painted(about.client.right, about.client.bottom);
    HtmlDrawState state;
    const std::vector<HtmlLink> links =
        PaintHtml(painted.Dc(), painted.Rect(), about.markup, about.font, kBlack, kWhite, state);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].target, L"mailto:dev@orvo.example");
    EXPECT_EQ(links[1].target, L"https://orvo.example/orvocapture/");

    int blueOutside = 0;
    for (int y = 0; y < painted.Height(); ++y)
        for (int x = 0; x < painted.Width(); ++x)
            if (painted.Pixel(x, y) == RGB(0, 0, 255) && !InAnyLink(links, x, y))
                ++blueOutside;
    EXPECT_EQ(blueOutside, 0);

    for (const HtmlLink& link : links) {
        const RECT& rc = link.rect;
        ASSERT_GT(rc.right - rc.left, 20) << link.target.c_str();
        ASSERT_LE(rc.bottom, painted.Height());
        // Blue text inside, and one row blue nearly all the way: the underline.
        int bestRow = 0, blue = 0;
        for (int y = rc.top; y < rc.bottom; ++y) {
            int row = 0;
            for (int x = rc.left; x < rc.right; ++x)
                row += painted.Pixel(x, y) == RGB(0, 0, 255);
            blue += row;
            bestRow = std::max(bestRow, row);
        }
        EXPECT_GT(blue, 50);
        EXPECT_GE(bestRow, (rc.right - rc.left) * 9 / 10) << "underline of " << link.rect.top;
        // Nothing but blue and white: no other colour inside a link.
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x)
                if (painted.Pixel(x, y) != RGB(0, 0, 255) && painted.Pixel(x, y) != kWhite)
                    ADD_FAILURE() << "pixel " << x << "," << y;
    }
}

TEST(HtmlPaint, RulesAreSolidBandsInTheTextColourAndTheSelectedFontComesBack)
{
    Surface painted(200, 60);
    HtmlDrawState state;
    const HGDIOBJ before = ::GetCurrentObject(painted.Dc(), OBJ_FONT);
    PaintHtml(painted.Dc(), painted.Rect(), L"<hr size=4>", WindowFontDescription(nullptr), RGB(255, 0, 0), kWhite,
              state);
    EXPECT_EQ(::GetCurrentObject(painted.Dc(), OBJ_FONT), before);
    // The break moves one line down, then the 4-pixel band spans the width.
    int firstRed = -1, redRows = 0;
    for (int y = 0; y < painted.Height(); ++y) {
        bool full = true;
        for (int x = 0; x < painted.Width(); ++x)
            full = full && painted.Pixel(x, y) == RGB(255, 0, 0);
        if (full) {
            if (firstRed < 0)
                firstRed = y;
            ++redRows;
        }
    }
    EXPECT_GT(firstRed, 0);
    EXPECT_EQ(redRows, 4);
}

TEST(HtmlPaintFuzz, RandomMarkupPaintsIntoARealContextWithoutHarm)
{
    static const wchar_t* const pieces[] = {L"<b>", L"</b>", L"<font size=\"", L"<font face=\"", L"\">", L"</font>",
                                            L"<hr size=", L">", L"<sub>", L"<sup>", L"<a href=", L"</a>", L"<br>",
                                            L"<big>", L"x y ", L"&nbsp;", L"\r", L"\n", L"<code>", L"99999"};
    Surface painted(160, 80);
    HtmlDrawState state;
    unsigned seed = 7;
    for (int run = 0; run < 300; ++run) {
        std::wstring markup;
        for (int i = 0; i < 25; ++i) {
            seed = seed * 1103515245u + 12345u;
            markup += pieces[(seed >> 16) % (sizeof(pieces) / sizeof(pieces[0]))];
        }
        const HGDIOBJ before = ::GetCurrentObject(painted.Dc(), OBJ_FONT);
        PaintHtml(painted.Dc(), painted.Rect(), markup, WindowFontDescription(nullptr), kBlack, kWhite, state);
        ASSERT_EQ(::GetCurrentObject(painted.Dc(), OBJ_FONT), before) << "run " << run;
    }
}
