// The magnifier copies only what it shows; its pixels must be exactly those
// of the plain whole-image drawing at every zoom, near the image's edges and
// with an inverted area, a highlight and marks in view.
#include <gtest/gtest.h>

#include <vector>

#include "bench/WholeCopyMagnifier.h"
#include "capture/MagnifierView.h"
#include "capture/Marks.h"

namespace {

constexpr int kImageW = 320;
constexpr int kImageH = 200;
// The options dialog's magnifier surface at 96 DPI, edges made even.
constexpr int kViewW = 254;
constexpr int kViewH = 256;

// A screen-compatible image whose neighbouring pixels all differ, so a
// one-pixel shift anywhere shows.
class TestImage {
public:
    TestImage(int w, int h)
    {
        std::vector<DWORD> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[static_cast<size_t>(y * w + x)] =
                    static_cast<DWORD>((((x * 7 + y * 3) & 0xFF) << 16) | (((x * 13 + y * 29) & 0xFF) << 8) | ((x ^ y) & 0xFF));
        CClientDC screen(nullptr);
        m_bitmap.CreateCompatibleBitmap(screen, w, h);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        ::SetDIBits(screen, m_bitmap, 0, static_cast<UINT>(h), pixels.data(), &bi, DIB_RGB_COLORS);
    }
    HBITMAP Handle() const { return m_bitmap; }

private:
    CBitmap m_bitmap;
};

// A 32-bit memory target the size of the view.
class View {
public:
    View()
    {
        CClientDC screen(nullptr);
        m_dc.CreateCompatibleDC(screen);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kViewW, -kViewH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap.Attach(::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<const DWORD*>(bits);
        m_old = ::SelectObject(m_dc, m_bitmap);
        m_dc.FillSolidRect(CRect(0, 0, kViewW, kViewH), RGB(1, 2, 3));
    }
    ~View() { ::SelectObject(m_dc, m_old); }
    std::vector<DWORD> Pixels() const
    {
        ::GdiFlush();
        return std::vector<DWORD>(m_bits, m_bits + kViewW * kViewH);
    }
    CDC m_dc;

private:
    CBitmap m_bitmap;
    const DWORD* m_bits = nullptr;
    HGDIOBJ m_old = nullptr;
};

struct Drawn {
    std::vector<DWORD> fast;
    std::vector<DWORD> reference;
};

Drawn DrawBoth(const MagnifierScene& scene)
{
    View fast, reference;
    DrawMagnifierView(fast.m_dc, kViewW, kViewH, scene);
    DrawMagnifierWholeCopy(reference.m_dc, kViewW, kViewH, scene);
    return {fast.Pixels(), reference.Pixels()};
}

// The first differing pixel, or -1.
int FirstDifference(const Drawn& d)
{
    for (size_t i = 0; i < d.fast.size(); ++i)
        if (d.fast[i] != d.reference[i])
            return static_cast<int>(i);
    return -1;
}

DWORD At(const std::vector<DWORD>& pixels, int x, int y) { return pixels[static_cast<size_t>(y * kViewW + x)] & 0xFFFFFF; }

}  // namespace

TEST(MagnifierView, SamePixelsAsTheWholeImageCopyAtEveryZoomAndPosition)
{
    TestImage image(kImageW, kImageH);
    const POINT cursors[] = {
        {160, 100},                          // well inside
        {0, 0}, {2, 150}, {319, 199},        // corners and edges: hatch beyond
        {318, 1}, {100, 199}, {-3, 50},      // and just outside
        {5000, 5000},                        // far outside: hatch only
    };
    for (double zoom : {1.0, 2.0, 3.0, 7.0, 16.0}) {
        for (POINT p : cursors) {
            MagnifierScene scene;
            scene.image = image.Handle();
            scene.cursor = p;
            scene.zoom = zoom;
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " at " << p.x << "," << p.y);
            const Drawn d = DrawBoth(scene);
            const int diff = FirstDifference(d);
            EXPECT_EQ(diff, -1) << "first difference at " << diff % kViewW << "," << diff / kViewW;
        }
    }
}

TEST(MagnifierView, SamePixelsWithAnInvertedAreaAHighlightAndMarksInView)
{
    TestImage image(kImageW, kImageH);
    MagnifierScene scene;
    scene.image = image.Handle();
    // All cross the view and reach past the image's edge.
    scene.area = CRect(150, 80, 400, 260);
    scene.highlight = CRect(-10, 90, 170, 120);
    Mark arrow, marker;
    arrow.tool = MarkTool::Arrow;
    arrow.points = {POINT{100, 60}, POINT{330, 120}};
    marker.tool = MarkTool::Marker;
    marker.color = RGB(255, 255, 0);
    marker.points = {POINT{-5, 100}, POINT{200, 110}};
    const std::vector<Mark> marks{arrow, marker};
    scene.marks = &marks;
    for (double zoom : {1.0, 2.0, 16.0}) {
        for (POINT p : {POINT{160, 100}, POINT{150, 80}, POINT{1, 95}, POINT{310, 190}}) {
            scene.cursor = p;
            scene.zoom = zoom;
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " at " << p.x << "," << p.y);
            const Drawn d = DrawBoth(scene);
            const int diff = FirstDifference(d);
            EXPECT_EQ(diff, -1) << "first difference at " << diff % kViewW << "," << diff / kViewW;
        }
    }
}

TEST(MagnifierView, ShowsTheMarkedCursorAndTheHatchBeyondTheImage)
{
    TestImage image(kImageW, kImageH);
    MagnifierScene scene;
    scene.image = image.Handle();
    scene.cursor = {0, 0};

    // Zoom 1: a 3 x 3 black square around the centre; beyond the image's
    // top-left corner only the red hatch on white.
    scene.zoom = 1.0;
    std::vector<DWORD> px = DrawBoth(scene).fast;
    const int cx = (kViewW / 2), cy = (kViewH / 2);
    // The square's part inside the image: the pointer's pixel and the ones
    // right of and below it.
    for (int dy = 0; dy <= 1; ++dy) {
        for (int dx = 0; dx <= 1; ++dx) {
            EXPECT_EQ(At(px, cx + dx, cy + dy), 0u);
        }
    }
    bool red = false, other = false;
    for (int y = 0; y < cy - 1; ++y)
        for (int x = 0; x < cx - 1; ++x) {
            const DWORD c = At(px, x, y);
            red = red || c == 0xFF0000;  // DIB order: red in the high byte
            other = other || (c != 0xFF0000 && c != 0xFFFFFF);
        }
    EXPECT_TRUE(red);
    EXPECT_FALSE(other);

    // Zoom 16: one image pixel is a 16 x 16 black square at the centre.
    scene.cursor = {100, 100};
    scene.zoom = 16.0;
    px = DrawBoth(scene).fast;
    const int left = (kViewW / 2 / 16) * 16, top = (kViewH / 2 / 16) * 16;
    EXPECT_EQ(At(px, left, top), 0u);
    EXPECT_EQ(At(px, left + 15, top + 15), 0u);
    EXPECT_NE(At(px, left + 16, top), 0u);
    EXPECT_NE(At(px, left - 1, top), 0u);
}
