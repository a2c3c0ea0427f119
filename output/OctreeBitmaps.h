// The octree conversion over GDI+ bitmaps: one lock of each whole bitmap,
// the palette block, and the 24-bit copy of a source in another format. It
// runs any tree with the quantizer's passes (AddPixels, BuildPalette,
// MapPixels), so a second tree can be held against it on the same bitmaps.
#pragma once

#include <windows.h>
// gdiplus.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>

#include "output/ColorQuantizer.h"
#include "output/OctreeQuantizer.h"

namespace octree_bitmaps {

// A GDI+ image released with the object unless handed on.
class ImageOwner {
public:
    explicit ImageOwner(Gdiplus::GpBitmap* bitmap = nullptr) : m_bitmap(bitmap) {}
    ~ImageOwner()
    {
        if (m_bitmap)
            Gdiplus::DllExports::GdipDisposeImage(m_bitmap);
    }
    ImageOwner(const ImageOwner&) = delete;
    ImageOwner& operator=(const ImageOwner&) = delete;
    Gdiplus::GpBitmap* Get() const { return m_bitmap; }
    void Reset(Gdiplus::GpBitmap* bitmap)
    {
        if (m_bitmap)
            Gdiplus::DllExports::GdipDisposeImage(m_bitmap);
        m_bitmap = bitmap;
    }
    Gdiplus::GpBitmap* Release()
    {
        Gdiplus::GpBitmap* bitmap = m_bitmap;
        m_bitmap = nullptr;
        return bitmap;
    }

private:
    Gdiplus::GpBitmap* m_bitmap;
};

// The pixels of a whole bitmap, locked for the life of the object.
class BitsLock {
public:
    BitsLock(Gdiplus::GpBitmap* bitmap, UINT width, UINT height, UINT mode, Gdiplus::PixelFormat format)
        : m_bitmap(bitmap)
    {
        const Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
        m_bLocked = Gdiplus::DllExports::GdipBitmapLockBits(bitmap, &all, mode, format, &m_data) == Gdiplus::Ok;
    }
    ~BitsLock()
    {
        if (m_bLocked)
            Gdiplus::DllExports::GdipBitmapUnlockBits(m_bitmap, &m_data);
    }
    BitsLock(const BitsLock&) = delete;
    BitsLock& operator=(const BitsLock&) = delete;
    bool IsLocked() const { return m_bLocked; }
    uint8_t* Scan0() const { return static_cast<uint8_t*>(m_data.Scan0); }
    ptrdiff_t Stride() const { return m_data.Stride; }

private:
    Gdiplus::GpBitmap* m_bitmap;
    Gdiplus::BitmapData m_data{};
    bool m_bLocked = false;
};

// The ColorPalette block that GDI+ takes: flags, count, then the entries.
class PaletteBlock {
public:
    explicit PaletteBlock(unsigned count)
        : m_palette(static_cast<Gdiplus::ColorPalette*>(
              std::calloc(1, sizeof(Gdiplus::ColorPalette) + sizeof(Gdiplus::ARGB) * count)))
    {
    }
    ~PaletteBlock() { std::free(m_palette); }
    PaletteBlock(const PaletteBlock&) = delete;
    PaletteBlock& operator=(const PaletteBlock&) = delete;
    Gdiplus::ColorPalette* Get() const { return m_palette; }

private:
    Gdiplus::ColorPalette* m_palette;
};

// Both passes of tree over the locked bitmaps; true on success.
template <class Tree>
bool QuantizeOctreeWith(Gdiplus::GpBitmap* source24, Gdiplus::GpBitmap* destination8, unsigned maxColors)
{
    using namespace Gdiplus;
    if (maxColors < OctreeQuantizer::MinColors || maxColors > OctreeQuantizer::MaxColors)
        return false;
    Tree tree(maxColors);
    if (!tree.IsReady())
        return false;
    UINT width = 0;
    UINT height = 0;
    DllExports::GdipGetImageWidth(source24, &width);
    DllExports::GdipGetImageHeight(source24, &height);

    const BitsLock source(source24, width, height, ImageLockModeRead, PixelFormat24bppRGB);
    if (!source.IsLocked())
        return false;
    const BgrRows pixels{source.Scan0(), source.Stride(), width, height};
    tree.AddPixels(pixels);

    uint32_t entries[OctreeQuantizer::MaxColors];
    const unsigned count = tree.BuildPalette(entries);
    const PaletteBlock palette(count);
    if (!palette.Get())
        return false;
    palette.Get()->Flags = PaletteFlagsHasAlpha;
    palette.Get()->Count = count;
    for (unsigned i = 0; i < count; ++i)
        palette.Get()->Entries[i] = entries[i];
    // A palette GDI+ refuses leaves its default one; the indices still stand.
    DllExports::GdipSetImagePalette(destination8, palette.Get());

    const BitsLock destination(destination8, width, height, ImageLockModeWrite, PixelFormat8bppIndexed);
    if (!destination.IsLocked())
        return false;
    tree.MapPixels(pixels, IndexRows{destination.Scan0(), destination.Stride()});
    return true;
}

// A new 8-bit indexed bitmap of image made with tree, or null.
template <class Tree>
Gdiplus::GpBitmap* ConvertWith(Gdiplus::GpBitmap* image, int method, unsigned maxColors)
{
    using namespace Gdiplus;
    // Nothing to make for these: spare the copy.
    if (!image || method != QColorQuantizer::Octree || maxColors < OctreeQuantizer::MinColors || maxColors > OctreeQuantizer::MaxColors)
        return nullptr;
    UINT width = 0;
    UINT height = 0;
    PixelFormat format = 0;
    DllExports::GdipGetImageWidth(image, &width);
    DllExports::GdipGetImageHeight(image, &height);
    DllExports::GdipGetImagePixelFormat(image, &format);

    ImageOwner copy;
    GpBitmap* source24 = image;
    if (format != PixelFormat24bppRGB) {
        GpBitmap* bitmap = nullptr;
        if (DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                                  PixelFormat24bppRGB, nullptr, &bitmap) != Ok)
            return nullptr;
        copy.Reset(bitmap);
        GpGraphics* graphics = nullptr;
        GpStatus status = DllExports::GdipGetImageGraphicsContext(bitmap, &graphics);
        if (status == Ok) {
            status = DllExports::GdipDrawImageRectI(graphics, image, 0, 0, static_cast<INT>(width),
                                                    static_cast<INT>(height));
            DllExports::GdipDeleteGraphics(graphics);
        }
        if (status != Ok)
            return nullptr;
        source24 = bitmap;
    }

    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                              PixelFormat8bppIndexed, nullptr, &bitmap) != Ok)
        return nullptr;
    ImageOwner destination(bitmap);
    if (!QuantizeOctreeWith<Tree>(source24, bitmap, maxColors))
        return nullptr;
    return destination.Release();
}

}  // namespace octree_bitmaps
