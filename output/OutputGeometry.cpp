#include "output/OutputGeometry.h"

#include <climits>

CRect EffectiveArea(const CRect& area, const CRect& primaryMonitor)
{
    return area.IsRectEmpty() ? primaryMonitor : area;
}

CRect CoveredPart(const CRect& area, SIZE imageSize)
{
    const CRect image(0, 0, imageSize.cx, imageSize.cy);
    CRect covered;
    if (!::IntersectRect(&covered, &area, &image))
        covered.SetRectEmpty();
    return covered;
}

double StandardDpiFactor(int dpi)
{
    return dpi > 0 ? 96.0 / dpi : 1.0;
}

UINT ScaledLength(UINT length, double factor)
{
    const double scaled = static_cast<double>(length) * factor;
    if (scaled < 1.0)
        return 1;
    if (scaled >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<UINT>(scaled);
}
