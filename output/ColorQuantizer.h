// Reduces any GDI+ bitmap to an 8-bit indexed bitmap whose palette holds at
// most maxColors of the image's own colours (octree method), for GIF output.
#pragma once

#include <windows.h>
// gdiplus.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

class QColorQuantizer {
public:
    virtual ~QColorQuantizer() = default;

    enum Method { Octree = 1 };

    // A new 8bpp indexed bitmap owned by the caller, or null on any failure
    // (maxColors outside 8..256, a method other than Octree, a failed lock
    // or allocation). image is only read and stays the caller's.
    Gdiplus::GpBitmap* Convert(Gdiplus::GpBitmap* image, int method, unsigned maxColors);

    // Fills destination8 (8bpp indexed, the size of source24, which is
    // 24bpp RGB) with the octree palette and indices of source24.
    bool QuantizeOctree(Gdiplus::GpBitmap* source24, Gdiplus::GpBitmap* destination8, unsigned maxColors);
};
