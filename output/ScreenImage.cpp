#include "output/ScreenImage.h"

#include "output/OutputGeometry.h"

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
