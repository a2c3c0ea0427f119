// The header of a 32-bit DIB whose first row is the top one, so pixel
// (x, y) sits at bits[y * width + x] as 0x00RRGGBB.
#pragma once

#include <windows.h>

inline BITMAPINFO TopDownBitmapInfo(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
