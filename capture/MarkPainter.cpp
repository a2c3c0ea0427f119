#include "capture/MarkPainter.h"

#include <algorithm>

#include "capture/Pixelation.h"
#include "framework/Gdi.h"

namespace {

CRect VisiblePart(HDC dc, const CRect& rc)
{
    CRect clip;
    if (::GetClipBox(dc, &clip) == NULLREGION)
        return CRect();
    CRect visible;
    ::IntersectRect(&visible, &rc, &clip);
    return visible;
}

// A pen with round ends and joins, so strokes look drawn, not assembled.
HPEN CreateStrokePen(COLORREF color, int width, DWORD cap)
{
    LOGBRUSH lb{BS_SOLID, color, 0};
    return ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | cap | PS_JOIN_ROUND, static_cast<DWORD>(std::max(width, 1)), &lb,
                          0, nullptr);
}

void DrawPolyline(HDC dc, const std::vector<POINT>& points, COLORREF color, int width)
{
    if (points.empty())
        return;
    CGdiObject pen;
    pen.Attach(CreateStrokePen(color, width, PS_ENDCAP_ROUND));
    CSelection selectPen(dc, pen);
    if (points.size() == 1) {
        // A click without a move still leaves a dot.
        CBrush brush(color);
        CSelection selectBrush(dc, brush);
        const int r = std::max(width / 2, 1);
        ::Ellipse(dc, points[0].x - r, points[0].y - r, points[0].x + r + 1, points[0].y + r + 1);
        return;
    }
    ::Polyline(dc, points.data(), static_cast<int>(points.size()));
}

void DrawArrow(HDC dc, const Mark& mark)
{
    if (mark.points.size() != 2)
        return;
    const ArrowHead head = ComputeArrowHead(mark.points[0], mark.points[1], mark.width);
    {
        CGdiObject pen;
        pen.Attach(CreateStrokePen(mark.color, mark.width, PS_ENDCAP_FLAT));
        CSelection selectPen(dc, pen);
        const POINT shaft[2] = {mark.points[0], head.base};
        ::Polyline(dc, shaft, 2);
    }
    CPen outline(PS_SOLID, 1, mark.color);
    CBrush fill(mark.color);
    CSelection selectPen(dc, outline);
    CSelection selectBrush(dc, fill);
    const POINT triangle[3] = {head.tip, head.left, head.right};
    ::Polygon(dc, triangle, 3);
}

void DrawFrame(HDC dc, const Mark& mark)
{
    const CRect& rc = mark.rect;
    const int w = std::min({mark.width, (rc.Width() + 1) / 2, (rc.Height() + 1) / 2});
    if (w <= 0)
        return;
    CBrush brush(mark.color);
    const CRect sides[4] = {CRect(rc.left, rc.top, rc.right, rc.top + w), CRect(rc.left, rc.bottom - w, rc.right, rc.bottom),
                            CRect(rc.left, rc.top, rc.left + w, rc.bottom), CRect(rc.right - w, rc.top, rc.right, rc.bottom)};
    for (const CRect& side : sides)
        ::FillRect(dc, &side, brush);
}

// The marker: a wide stroke laid over what is there at kMarkerAlpha, drawn
// as one layer so crossings do not darken twice.
void DrawMarker(HDC dc, const Mark& mark)
{
    const CRect part = VisiblePart(dc, MarkBounds(mark));
    if (part.IsRectEmpty() || mark.points.empty())
        return;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), part.Width(), -part.Height(), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    CBitmap layer;
    layer.Attach(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    CDC dcLayer;
    if (!layer.GetSafeHandle() || !dcLayer.CreateCompatibleDC(nullptr))
        return;
    CSelection selectLayer(dcLayer, layer);
    ::SetWindowOrgEx(dcLayer, part.left, part.top, nullptr);
    DrawPolyline(dcLayer, mark.points, RGB(255, 255, 255), mark.width * 3);
    ::SetWindowOrgEx(dcLayer, 0, 0, nullptr);
    ::GdiFlush();

    const DWORD a = kMarkerAlpha;
    const DWORD covered = (a << 24) | ((GetRValue(mark.color) * a / 255) << 16) | ((GetGValue(mark.color) * a / 255) << 8) |
                          (GetBValue(mark.color) * a / 255);
    auto* p = static_cast<DWORD*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(part.Width()) * static_cast<size_t>(part.Height()); i < n; ++i)
        p[i] = p[i] ? covered : 0;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, part.left, part.top, part.Width(), part.Height(), dcLayer, 0, 0, part.Width(), part.Height(),
                    blend);
}

// Text with a one-pixel border in the contrasting colour, readable on any
// background.
void DrawOutlinedText(HDC dc, int x, int y, const std::wstring& text, COLORREF color, COLORREF border, UINT align)
{
    const int mode = ::SetBkMode(dc, TRANSPARENT);
    const UINT oldAlign = ::SetTextAlign(dc, align);
    const COLORREF oldColor = ::SetTextColor(dc, border);
    const int n = static_cast<int>(text.size());
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy)
                ::TextOutW(dc, x + dx, y + dy, text.c_str(), n);
    ::SetTextColor(dc, color);
    ::TextOutW(dc, x, y, text.c_str(), n);
    ::SetTextColor(dc, oldColor);
    ::SetTextAlign(dc, oldAlign);
    ::SetBkMode(dc, mode);
}

HFONT CreateMarkFont(int height, bool bold)
{
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    wcscpy_s(lf.lfFaceName, L"Tahoma");
    return ::CreateFontIndirectW(&lf);
}

void DrawText(HDC dc, const Mark& mark)
{
    if (mark.points.empty() || mark.text.empty())
        return;
    CFont font;
    font.Attach(CreateMarkFont(mark.size, false));
    CSelection select(dc, font);
    DrawOutlinedText(dc, mark.points[0].x, mark.points[0].y, mark.text, mark.color, ContrastingColor(mark.color),
                     TA_LEFT | TA_TOP);
}

void DrawStep(HDC dc, const Mark& mark)
{
    if (mark.points.empty())
        return;
    const POINT c = mark.points[0];
    const int r = mark.size / 2;
    {
        CPen pen(PS_SOLID, 1, mark.color);
        CBrush brush(mark.color);
        CSelection selectPen(dc, pen);
        CSelection selectBrush(dc, brush);
        ::Ellipse(dc, c.x - r, c.y - r, c.x - r + mark.size, c.y - r + mark.size);
    }
    CFont font;
    font.Attach(CreateMarkFont(mark.size * 5 / 8, true));
    CSelection select(dc, font);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    const std::wstring number = std::to_wstring(mark.step);
    DrawOutlinedText(dc, c.x, c.y - tm.tmHeight / 2, number, RGB(255, 255, 255), RGB(0, 0, 0), TA_CENTER | TA_TOP);
}

void DrawPixelate(HDC dc, const Mark& mark)
{
    const CRect part = VisiblePart(dc, mark.rect);
    const int bs = mark.size;
    const int columns = BlockColumns(mark.rect, std::max(bs, 1));
    if (part.IsRectEmpty() || bs <= 0 ||
        mark.blocks.size() != static_cast<size_t>(columns) * static_cast<size_t>(BlockRows(mark.rect, bs)))
        return;
    // Only the visible part is spelt out, a run per block, and set in one
    // call; the lines of one row of blocks are alike.
    const size_t width = static_cast<size_t>(part.Width());
    std::vector<DWORD> pixels(width * static_cast<size_t>(part.Height()));
    for (int y = part.top; y < part.bottom; ++y) {
        DWORD* line = &pixels[static_cast<size_t>(y - part.top) * width];
        if (y > part.top && (y - mark.rect.top) % bs != 0) {
            std::copy_n(line - width, width, line);
            continue;
        }
        const COLORREF* row = &mark.blocks[static_cast<size_t>((y - mark.rect.top) / bs) * static_cast<size_t>(columns)];
        for (int x = part.left; x < part.right;) {
            const int column = (x - mark.rect.left) / bs;
            const int end = std::min<int>(part.right, mark.rect.left + (column + 1) * bs);
            const COLORREF c = row[column];
            const DWORD pixel = (static_cast<DWORD>(GetRValue(c)) << 16) | (static_cast<DWORD>(GetGValue(c)) << 8) | GetBValue(c);
            std::fill(line + (x - part.left), line + (end - part.left), pixel);
            x = end;
        }
    }
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), part.Width(), -part.Height(), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ::SetDIBitsToDevice(dc, part.left, part.top, static_cast<DWORD>(part.Width()), static_cast<DWORD>(part.Height()), 0,
                        0, 0, static_cast<UINT>(part.Height()), pixels.data(), &bi, DIB_RGB_COLORS);
}

}  // namespace

COLORREF ContrastingColor(COLORREF color)
{
    const int luma = GetRValue(color) * 299 + GetGValue(color) * 587 + GetBValue(color) * 114;
    return luma > 128000 ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

void DrawMark(HDC dc, const Mark& mark)
{
    if (VisiblePart(dc, MarkBounds(mark)).IsRectEmpty())
        return;
    switch (mark.tool) {
    case MarkTool::Arrow:
        DrawArrow(dc, mark);
        break;
    case MarkTool::Rectangle:
        DrawFrame(dc, mark);
        break;
    case MarkTool::Pen:
        DrawPolyline(dc, mark.points, mark.color, mark.width);
        break;
    case MarkTool::Marker:
        DrawMarker(dc, mark);
        break;
    case MarkTool::Text:
        DrawText(dc, mark);
        break;
    case MarkTool::Step:
        DrawStep(dc, mark);
        break;
    case MarkTool::Pixelate:
        DrawPixelate(dc, mark);
        break;
    case MarkTool::Redact: {
        CBrush brush(mark.color);
        ::FillRect(dc, &mark.rect, brush);
        break;
    }
    case MarkTool::None:
        break;
    }
}

void DrawMarks(HDC dc, const std::vector<Mark>& marks, const Mark* pending)
{
    for (const Mark& mark : marks)
        DrawMark(dc, mark);
    if (pending)
        DrawMark(dc, *pending);
}
