#include "output/ScreenImage.h"

#include "output/OutputGeometry.h"

void BurnHighlight(HDC dc, const RECT& rc)
{
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    CSelection brush(dc, ::GetStockObject(NULL_BRUSH));
    CSelection selectPen(dc, pen);
    ::RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, 2, 2);
    ::Rectangle(dc, rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1);
}

bool CropScreenImage(HDC dcScreen, SIZE imageSize, const CRect& area, CBitmap& cropped)
{
    if (area.IsRectEmpty() || !cropped.CreateCompatibleBitmap(dcScreen, area.Width(), area.Height()))
        return false;
    CDC dcCrop;
    if (!dcCrop.CreateCompatibleDC(dcScreen)) {
        cropped.DeleteObject();
        return false;
    }
    CSelection select(dcCrop, cropped);
    // A fresh bitmap holds whatever it holds; the part of the area beyond the
    // screen image must not show it.
    ::PatBlt(dcCrop, 0, 0, area.Width(), area.Height(), BLACKNESS);
    const CRect covered = CoveredPart(area, imageSize);
    if (!covered.IsRectEmpty())
        dcCrop.BitBlt(covered.left - area.left, covered.top - area.top, covered.Width(), covered.Height(), dcScreen,
                      covered.left, covered.top, SRCCOPY);
    return true;
}
