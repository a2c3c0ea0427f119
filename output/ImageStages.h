// The GDI+ stages between the cropped bitmap and the final image. Each
// stage that makes a new image puts it in place of the one it replaces.
#pragma once

#include <windows.h>

#include "output/GdiplusSession.h"

// The first GDI+ image, from the cropped GDI bitmap with the stock default
// palette. The GDI bitmap stays the caller's.
Gdiplus::Status ImageFromBitmap(HBITMAP bitmap, GdipBitmapPtr& image);

// Redraws image (high-quality bicubic) at the size it has at 96 DPI when
// shown at dpi; nothing happens when that is its size already.
Gdiplus::Status ScaleToStandardDpi(GdipBitmapPtr& image, int dpi);

// Replaces image by its reduction to an 8-bit palette of at most 256 of its
// own colours, for GIF. False, with image unchanged, when the reduction
// gives no image.
bool ReduceToPalette(GdipBitmapPtr& image);
