// The marks drawn over a capture: arrow heads, undo and redo with step
// numbers, pixelation that stays near the mean but never equals it, and the
// one drawing function that the screen, the magnifier and the output share.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <vector>

#include "capture/MarkDrag.h"
#include "capture/MarkPainter.h"
#include "capture/Pixelation.h"
#include "framework/Gdi.h"

namespace {

double Distance(POINT a, POINT b) { return std::hypot(double(a.x - b.x), double(a.y - b.y)); }

Mark StepMark(int number)
{
    Mark m;
    m.tool = MarkTool::Step;
    m.step = number;
    m.size = StepDiameter(96);
    m.points = {POINT{40, 40}};
    return m;
}

// A 32-bit canvas with a known pattern, readable pixel by pixel.
class Canvas {
public:
    Canvas(int w, int h) : m_w(w), m_h(h)
    {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap.Attach(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<DWORD*>(bits);
        m_dc.CreateCompatibleDC(nullptr);
        m_old = ::SelectObject(m_dc, m_bitmap);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                m_bits[y * w + x] = static_cast<DWORD>(((x * 37 + y * 11) & 0xFF) << 16 | ((x * 5 ^ y * 23) & 0xFF) << 8 |
                                                       ((x + y * 3) & 0xFF));
    }
    ~Canvas() { ::SelectObject(m_dc, m_old); }
    DWORD At(int x, int y) const
    {
        ::GdiFlush();
        return m_bits[y * m_w + x] & 0xFFFFFF;
    }
    PixelView View() const { return PixelView{m_bits, m_w, m_h}; }
    std::vector<DWORD> Pixels() const
    {
        ::GdiFlush();
        return std::vector<DWORD>(m_bits, m_bits + m_w * m_h);
    }
    CDC m_dc;

private:
    int m_w, m_h;
    CBitmap m_bitmap;
    DWORD* m_bits = nullptr;
    HGDIOBJ m_old = nullptr;
};

DWORD Rgb(COLORREF c) { return static_cast<DWORD>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); }
int Channel(DWORD p, int c) { return static_cast<int>(p >> (16 - 8 * c)) & 0xFF; }

}  // namespace

TEST(MarkModel, ArrowHeadIsAtTheEndAndAtLeastFourStrokesLongAndWide)
{
    for (int width : {2, 4, 8})
        for (POINT tail : {POINT{10, 10}, POINT{300, 40}, POINT{120, 250}}) {
            const POINT head{150, 120};
            const ArrowHead h = ComputeArrowHead(tail, head, width);
            EXPECT_EQ(h.tip.x, head.x);
            EXPECT_EQ(h.tip.y, head.y);
            EXPECT_GE(Distance(h.left, h.right), 4.0 * width - 1);
            EXPECT_GE(Distance(h.base, h.tip), 4.0 * width - 1);
            // The base lies back along the shaft, towards the tail.
            EXPECT_LT(Distance(h.base, tail), Distance(head, tail));
            EXPECT_NEAR(Distance(h.left, h.base), Distance(h.right, h.base), 1.5);
        }
    const ArrowHead click = ComputeArrowHead(POINT{50, 50}, POINT{50, 50}, 4);
    EXPECT_LT(click.base.x, 50);  // a plain click still gives a head
}

TEST(MarkModel, DraggedRectanglesFollowTheAreaRule)
{
    for (MarkTool tool : {MarkTool::Rectangle, MarkTool::Redact}) {
        Mark m = BeginMark(tool, MarkStyle{}, POINT{10, 10}, 0);
        EXPECT_FALSE(IsMarkWorthKeeping(m)) << "a bare click leaves nothing";
        ContinueMark(m, POINT{20, 20}, PixelView{});
        EXPECT_TRUE(m.rect == CRect(10, 10, 21, 21));
        m = BeginMark(tool, MarkStyle{}, POINT{20, 20}, 0);
        ContinueMark(m, POINT{10, 10}, PixelView{});
        EXPECT_TRUE(m.rect == CRect(11, 11, 20, 20));
    }
    const Mark wide = BeginMark(MarkTool::Pen, MarkStyle{RGB(0, 0, 0), 8, 144}, POINT{0, 0}, 0);
    EXPECT_EQ(wide.width, 12);
}

TEST(MarkModel, UndoRedoAndStepNumbersGivenBack)
{
    MarkList list;
    EXPECT_FALSE(list.Undo());
    EXPECT_FALSE(list.Redo());
    for (int i = 0; i < 3; ++i)
        list.Add(StepMark(list.NextStepNumber()));
    EXPECT_EQ(list.Marks().back().step, 3);
    ASSERT_TRUE(list.Undo());
    EXPECT_EQ(list.NextStepNumber(), 3);
    ASSERT_TRUE(list.Redo());
    EXPECT_EQ(list.NextStepNumber(), 4);
    ASSERT_TRUE(list.Undo());
    ASSERT_TRUE(list.Undo());
    list.Add(StepMark(list.NextStepNumber()));
    EXPECT_EQ(list.Marks().back().step, 2);
    EXPECT_FALSE(list.CanRedo()) << "a new mark ends the redo";
    while (list.Undo()) {
    }
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.NextStepNumber(), 1);
    ASSERT_TRUE(list.Redo());
    EXPECT_EQ(list.Marks().size(), 1u);
}

TEST(Pixelation, BlocksStayNearTheMeanWithOffsetsThatDiffer)
{
    Canvas canvas(64, 48);
    const CRect rect(3, 5, 3 + 27, 5 + 21);  // 3 x 3 blocks, the last column and row 7 and 1 wide
    const int bs = PixelBlockSize(96);
    EXPECT_EQ(bs, 10);
    EXPECT_EQ(PixelBlockSize(144), 15);
    const Mark a = MakePixelateMark(canvas.View(), rect, bs);
    const Mark b = MakePixelateMark(canvas.View(), rect, bs);
    ASSERT_EQ(a.blocks.size(), 9u);
    ASSERT_EQ(a.offsets.size(), 27u);
    std::set<int> offsets(a.offsets.begin(), a.offsets.end());
    EXPECT_GT(offsets.size(), 3u) << "offsets differ between blocks";
    EXPECT_NE(a.offsets, b.offsets) << "two pixelations of the same pixels differ";
    for (int8_t o : a.offsets)
        EXPECT_LE(std::abs(o), 16);

    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            const int left = rect.left + column * bs, top = rect.top + row * bs;
            const int right = std::min<int>(left + bs, rect.right), bottom = std::min<int>(top + bs, rect.bottom);
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int y = top; y < bottom; ++y)
                    for (int x = left; x < right; ++x)
                        sum += Channel(canvas.At(x, y), c);
                const double mean = sum / ((right - left) * (bottom - top));
                const int got = Channel(Rgb(a.blocks[static_cast<size_t>(row * 3 + column)]), c);
                const int expected = std::clamp(static_cast<int>(std::lround(mean)) + a.offsets[static_cast<size_t>((row * 3 + column) * 3 + c)], 0, 255);
                EXPECT_NEAR(got, expected, 1) << row << "," << column << " channel " << c;
                EXPECT_LE(std::abs(got - mean), 16.5);
            }
        }

    // Drawn, each block is its one colour exactly up to the rectangle's edge.
    DrawMark(canvas.m_dc, a);
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            ASSERT_EQ(canvas.At(x, y), Rgb(a.blocks[static_cast<size_t>((y - rect.top) / bs * 3 + (x - rect.left) / bs)]))
                << x << "," << y;
    EXPECT_NE(canvas.At(rect.right, rect.top), Rgb(a.blocks[2]));
}

TEST(Pixelation, ADragKeepsTheWholeBlocksAndRecomputesTheRest)
{
    Canvas canvas(64, 48);
    const int bs = 10;
    Mark mark = MakePixelateMark(canvas.View(), CRect(2, 2, 27, 19), bs);  // 3 x 2 blocks, the right and bottom partial
    const Mark before = mark;
    for (const CRect& rect : {CRect(2, 2, 49, 33), CRect(2, 2, 14, 40), CRect(5, 2, 40, 30)}) {
        const Mark last = mark;
        RepixelateMark(mark, canvas.View(), rect);
        // Whatever was kept or drawn anew, every block is its mean plus its offset.
        EXPECT_EQ(mark.blocks, PixelateBlocks(canvas.View(), rect, bs, mark.offsets)) << rect.right;
        if (rect.left == last.rect.left) {
            EXPECT_TRUE(std::equal(last.offsets.begin(), last.offsets.begin() + 3, mark.offsets.begin()))
                << "a whole block on the same grid keeps its offset";
        }
    }
    // Growing keeps block (0,1), whole before, with its colour.
    Mark grown = before;
    RepixelateMark(grown, canvas.View(), CRect(2, 2, 49, 33));
    EXPECT_TRUE(std::equal(before.offsets.begin() + 3, before.offsets.begin() + 6, grown.offsets.begin() + 3));
    EXPECT_EQ(grown.blocks[1], before.blocks[1]);
    RepixelateMark(grown, canvas.View(), CRect(70, 70, 80, 80));
    EXPECT_TRUE(grown.blocks.empty() && grown.rect.IsRectEmpty()) << "off the image: nothing left";
}

TEST(MarkPainting, EachToolLeavesItsPixels)
{
    Canvas canvas(200, 160);
    const std::vector<DWORD> before = canvas.Pixels();
    const COLORREF blue = RGB(0, 0, 255);

    Mark arrow;
    arrow.tool = MarkTool::Arrow;
    arrow.color = blue;
    arrow.width = 4;
    arrow.points = {POINT{20, 20}, POINT{120, 20}};
    Mark redact;
    redact.tool = MarkTool::Redact;
    redact.color = RGB(0, 0, 0);
    redact.rect = CRect(10, 100, 41, 121);
    Mark step = StepMark(7);
    step.points = {POINT{150, 60}};
    Mark marker;
    marker.tool = MarkTool::Marker;
    marker.color = RGB(255, 255, 0);
    marker.width = 4;
    marker.points = {POINT{60, 140}, POINT{110, 140}};
    Mark frame;
    frame.tool = MarkTool::Rectangle;
    frame.color = RGB(0, 192, 0);
    frame.width = 4;
    frame.rect = CRect(60, 40, 100, 80);
    DrawMarks(canvas.m_dc, {arrow, redact, step, marker, frame});

    for (int x = 20; x <= 118; ++x)
        EXPECT_EQ(canvas.At(x, 20), 0x0000FFu) << x;
    EXPECT_EQ(canvas.At(119, 20), 0x0000FFu);
    EXPECT_EQ(canvas.At(106, 25), 0x0000FFu) << "the head is wider than the shaft";
    for (int y = 100; y < 121; ++y)
        for (int x = 10; x < 41; ++x)
            ASSERT_EQ(canvas.At(x, y), 0u);
    EXPECT_NE(canvas.At(41, 110), 0u);
    // The step circle: at least 24 pixels across, filled, a white number.
    EXPECT_EQ(canvas.At(150 - 12, 60), canvas.At(150 + 11, 60));
    EXPECT_EQ(canvas.At(150 - 12, 60), 0xFF0000u);
    bool white = false;
    for (int y = 50; y < 70; ++y)
        for (int x = 140; x < 160; ++x)
            white |= canvas.At(x, y) == 0xFFFFFFu;
    EXPECT_TRUE(white);
    // The marker tints: no pixel under it keeps its colour or becomes plain yellow.
    for (int x = 70; x < 100; x += 7) {
        const DWORD p = canvas.At(x, 140), was = before[140 * 200 + x] & 0xFFFFFF;
        EXPECT_NE(p, was);
        EXPECT_NE(p, 0xFFFF00u);
        EXPECT_GE(Channel(p, 0), Channel(was, 0)) << "yellow only adds red and green";
    }
    EXPECT_EQ(canvas.At(60, 40), 0x00C000u);
    EXPECT_EQ(canvas.At(63, 60), 0x00C000u);
    EXPECT_EQ(canvas.At(64, 60), before[60 * 200 + 64] & 0xFFFFFF);
}

TEST(MarkPainting, PiecesAndOffsetOriginsPaintWhatTheWholeDoes)
{
    // The capture window repaints only what changed and the magnifier draws
    // a piece with its origin moved: both must equal one whole drawing.
    Canvas whole(160, 120), piece(70, 50);
    Mark pen, text, pixelate;
    pen.tool = MarkTool::Pen;
    pen.width = 8;
    pen.points = {POINT{5, 5}, POINT{90, 70}, POINT{150, 20}};
    text.tool = MarkTool::Text;
    text.color = RGB(0, 0, 255);
    text.size = TextHeight(4);
    text.text = L"Hello";
    text.points = {POINT{40, 60}};
    pixelate = MakePixelateMark(whole.View(), CRect(30, 30, 113, 97), 10);
    const std::vector<Mark> marks{pixelate, pen, text};
    DrawMarks(whole.m_dc, marks);

    Canvas fresh(160, 120);
    ::BitBlt(piece.m_dc, 0, 0, 70, 50, fresh.m_dc, 60, 40, SRCCOPY);
    ::SetWindowOrgEx(piece.m_dc, 60, 40, nullptr);
    DrawMarks(piece.m_dc, marks);
    ::SetWindowOrgEx(piece.m_dc, 0, 0, nullptr);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 70; ++x)
            ASSERT_EQ(piece.At(x, y), whole.At(x + 60, y + 40)) << x + 60 << "," << y + 40;

    // The text is there, in its colour.
    int blue = 0;
    for (int y = 60; y < 80; ++y)
        for (int x = 40; x < 100; ++x)
            blue += whole.At(x, y) == 0x0000FFu;
    EXPECT_GT(blue, 20);
}
