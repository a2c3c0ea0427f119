#include "capture/CaptureGeometry.h"

#include <algorithm>

CRect DragAfterMove(const CRect& drag, POINT pt)
{
    CRect rc = drag;
    rc.right = pt.x + 1;
    rc.bottom = pt.y + 1;
    return rc;
}

CRect NormalizedRect(const CRect& rc)
{
    CRect copy = rc;
    copy.NormalizeRect();
    return copy;
}

double ZoomAfterWheel(double zoom, int wheelDelta)
{
    const int steps = wheelDelta / 120;  // C++ division truncates toward zero
    return std::clamp(zoom + steps, kMinZoom, kMaxZoom);
}

CRect MagnifierSourceRect(POINT cursor, int w, int h, double zoom)
{
    CRect rc(0, 0, w, h);
    rc.OffsetRect(cursor.x, cursor.y);
    rc.OffsetRect(static_cast<int>(-(w / 2) / zoom), static_cast<int>(-(h / 2) / zoom));
    return rc;
}

MagnifierGeometry ComputeMagnifierGeometry(POINT cursor, int w, int h, double zoom, int imageW, int imageH)
{
    MagnifierGeometry g;
    g.source = MagnifierSourceRect(cursor, w, h, zoom);
    const int z = std::max(1, static_cast<int>(zoom));
    // Only the first ceil(w / z) columns and ceil(h / z) rows of the source
    // land inside the view; the rest of the magnified copy falls beyond it.
    const CRect reach(g.source.left, g.source.top, g.source.left + (std::max(w, 0) + z - 1) / z,
                      g.source.top + (std::max(h, 0) + z - 1) / z);
    const CRect image(0, 0, imageW, imageH);
    if (!::IntersectRect(&g.shown, &reach, &image))
        return g;  // nothing of the image to show: shown and dest stay empty
    g.dest = CRect((g.shown.left - g.source.left) * z, (g.shown.top - g.source.top) * z,
                   (g.shown.right - g.source.left) * z, (g.shown.bottom - g.source.top) * z);
    return g;
}

CString FormatColorReadout(COLORREF color)
{
    CString text;
    text.Format(L"#%02X%02X%02X ", GetRValue(color), GetGValue(color), GetBValue(color));
    return text;
}
