// The magnifier drawn the plain way, for comparison: copy the whole screen
// image, mark the pointer, invert the area, outline the highlight, then
// stretch the source rectangle over the hatched view. The fast drawing must
// show exactly these pixels; the benchmark measures both.
#pragma once

#include "capture/MagnifierView.h"
#include "framework/MemDC.h"

inline void DrawMagnifierWholeCopy(CDC& target, int w, int h, const MagnifierScene& scene)
{
    BITMAP info{};
    ::GetObjectW(scene.image, sizeof(info), &info);

    CDC dcImage;
    dcImage.CreateCompatibleDC(target);
    CSelection selectImage(dcImage, scene.image);
    CDC dcCopy;
    dcCopy.CreateCompatibleDC(target);
    CBitmap copy;
    copy.CreateCompatibleBitmap(dcImage, info.bmWidth, info.bmHeight);
    CSelection selectCopy(dcCopy, copy);
    dcCopy.BitBlt(0, 0, info.bmWidth, info.bmHeight, dcImage, 0, 0, SRCCOPY);

    if (scene.zoom == 1.0)
        ::PatBlt(dcCopy, scene.cursor.x - 1, scene.cursor.y - 1, 3, 3, BLACKNESS);
    else
        ::PatBlt(dcCopy, scene.cursor.x, scene.cursor.y, 1, 1, BLACKNESS);
    if (!scene.area.IsRectEmpty())
        ::InvertRect(dcCopy, &scene.area);
    if (!scene.highlight.IsRectEmpty())
        DrawHighlightOutline(dcCopy, scene.highlight);

    const CRect view(0, 0, w, h);
    COrvoCaptureMemDC mem(&target, &view);
    CBrush hatch;
    hatch.CreateHatchBrush(HS_BDIAGONAL, RGB(255, 0, 0));
    ::FillRect(mem, &view, hatch);

    CRect src(0, 0, w, h);
    src.OffsetRect(scene.cursor.x, scene.cursor.y);
    src.OffsetRect(static_cast<int>(-(w / 2) / scene.zoom), static_cast<int>(-(h / 2) / scene.zoom));
    ::StretchBlt(mem, 0, 0, static_cast<int>(w * scene.zoom), static_cast<int>(h * scene.zoom), dcCopy, src.left,
                 src.top, w, h, SRCCOPY);
}
