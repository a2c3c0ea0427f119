#include "output/ColorQuantizer.h"

#include "output/OctreeBitmaps.h"
#include "output/OctreeQuantizer.h"

Gdiplus::GpBitmap* QColorQuantizer::Convert(Gdiplus::GpBitmap* image, int method, unsigned maxColors)
{
    return octree_bitmaps::ConvertWith<OctreeQuantizer>(image, method, maxColors);
}

bool QColorQuantizer::QuantizeOctree(Gdiplus::GpBitmap* source24, Gdiplus::GpBitmap* destination8,
                                     unsigned maxColors)
{
    return octree_bitmaps::QuantizeOctreeWith<OctreeQuantizer>(source24, destination8, maxColors);
}
