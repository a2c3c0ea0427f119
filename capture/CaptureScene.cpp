#include "capture/CaptureScene.h"

#include "capture/MagnifierView.h"
#include "capture/MarkPainter.h"

void PaintCaptureScene(HDC dc, const CaptureScene& scene, const CRect& dirty)
{
    if (dirty.IsRectEmpty())
        return;
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, dirty.left, dirty.top, dirty.right, dirty.bottom);
    ::BitBlt(dc, dirty.left, dirty.top, dirty.Width(), dirty.Height(), scene.image, dirty.left, dirty.top, SRCCOPY);
    if (!scene.area.IsRectEmpty())
        ::InvertRect(dc, &scene.area);
    if (!scene.highlight.IsRectEmpty())
        DrawHighlightOutline(dc, scene.highlight);
    if (scene.marks)
        DrawMarks(dc, *scene.marks, scene.pending);
    else if (scene.pending)
        DrawMark(dc, *scene.pending);
    ::RestoreDC(dc, saved);
}

ComposedPixels ComposeImagePixels(HDC image, SIZE size, const std::vector<Mark>& marks)
{
    ComposedPixels out;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    CBitmap dib;
    dib.Attach(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    CDC dc;
    if (!dib.GetSafeHandle() || !dc.CreateCompatibleDC(nullptr))
        return out;
    {
        CSelection select(dc, dib);
        ::BitBlt(dc, 0, 0, size.cx, size.cy, image, 0, 0, SRCCOPY);
        DrawMarks(dc, marks);
        ::GdiFlush();
    }
    const auto* p = static_cast<const DWORD*>(bits);
    out.bits.assign(p, p + static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
    out.width = size.cx;
    out.height = size.cy;
    return out;
}
