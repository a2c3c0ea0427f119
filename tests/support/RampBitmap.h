// The colour ramp the capture tests and the capture benchmark show on the
// screen: every pixel differs from its neighbours in a row and a column, so a
// misplaced or stale copy of it shows.
#pragma once

#include <windows.h>

#include "tests/support/TopDownBitmapInfo.h"

// 0x00RRGGBB at client point (x, y).
inline DWORD RampPixel(int x, int y)
{
    return static_cast<DWORD>((((x * 3 + y) & 0xFF) << 16) | (((y * 5 + x / 7) & 0xFF) << 8) |
                              ((x * 11 + y * 7) & 0xFF));
}

// A top-down 32-bit DIB section of the ramp; pixelAt(x, y, rampPixel) may
// put something else in its place. The caller deletes the bitmap.
template <class PixelAt>
HBITMAP MakeRampBitmap(int width, int height, PixelAt pixelAt)
{
    const BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    auto* pixels = static_cast<DWORD*>(bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = pixelAt(x, y, RampPixel(x, y));
    return bitmap;
}

inline HBITMAP MakeRampBitmap(int width, int height)
{
    return MakeRampBitmap(width, height, [](int, int, DWORD ramp) { return ramp; });
}
