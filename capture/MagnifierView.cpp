#include "capture/MagnifierView.h"

#include "capture/CaptureGeometry.h"
#include "framework/MemDC.h"

void MarkCursor(HDC dc, POINT cursor, double zoom)
{
    if (zoom == 1.0)
        ::PatBlt(dc, cursor.x - 1, cursor.y - 1, 3, 3, BLACKNESS);
    else
        ::PatBlt(dc, cursor.x, cursor.y, 1, 1, BLACKNESS);
}

void DrawHighlightOutline(HDC dc, const RECT& rc)
{
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    CSelection brush(dc, ::GetStockObject(NULL_BRUSH));
    CSelection selectPen(dc, pen);
    ::RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, 2, 2);
    ::Rectangle(dc, rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1);
}

void DrawMagnifierView(CDC& target, int w, int h, const MagnifierScene& scene)
{
    const CRect view(0, 0, w, h);
    COrvoCaptureMemDC mem(&target, &view);

    BITMAP info{};
    MagnifierGeometry g;
    if (scene.image && ::GetObjectW(scene.image, sizeof(info), &info))
        g = ComputeMagnifierGeometry(scene.cursor, w, h, scene.zoom, info.bmWidth, info.bmHeight);
    // The hatch stays wherever the picture does not reach, as beyond the
    // edges of the screen image; a picture that covers the view hides it.
    const bool covered = g.dest.left <= 0 && g.dest.top <= 0 && g.dest.right >= w && g.dest.bottom >= h;
    if (!covered) {
        CBrush hatch;
        hatch.CreateHatchBrush(HS_BDIAGONAL, RGB(255, 0, 0));
        ::FillRect(mem, &view, hatch);
    }
    if (g.shown.IsRectEmpty())
        return;

    CDC dcImage;
    dcImage.CreateCompatibleDC(target);
    CSelection selectImage(dcImage, scene.image);

    // A piece of the image holding exactly the pixels the view shows, in the
    // image's own format.
    CDC dcPiece;
    dcPiece.CreateCompatibleDC(target);
    CBitmap piece;
    piece.CreateCompatibleBitmap(dcImage, g.shown.Width(), g.shown.Height());
    CSelection selectPiece(dcPiece, piece);
    dcPiece.BitBlt(0, 0, g.shown.Width(), g.shown.Height(), dcImage, g.shown.left, g.shown.top, SRCCOPY);

    // Drawn in image coordinates, the marks land on the piece exactly where
    // they would land on a copy of the whole image.
    ::SetWindowOrgEx(dcPiece, g.shown.left, g.shown.top, nullptr);
    MarkCursor(dcPiece, scene.cursor, scene.zoom);
    if (!scene.area.IsRectEmpty())
        ::InvertRect(dcPiece, &scene.area);
    if (!scene.highlight.IsRectEmpty())
        DrawHighlightOutline(dcPiece, scene.highlight);
    ::SetWindowOrgEx(dcPiece, 0, 0, nullptr);

    ::StretchBlt(mem, g.dest.left, g.dest.top, g.dest.Width(), g.dest.Height(), dcPiece, 0, 0,
                 g.shown.Width(), g.shown.Height(), SRCCOPY);
}
