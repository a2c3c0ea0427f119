// The octree conversion over GDI+ bitmaps: one lock of each whole bitmap,
// the palette block, and the 24-bit copy of a source that cannot be read as
// it is. It runs any tree with the quantizer's passes (AddPixels,
// BuildPalette, MapPixels), so a second tree can be held against it on the
// same bitmaps.
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

// Both passes of tree over pixels already locked, into destination8 (8bpp
// indexed, the size of the pixels); true on success.
template <class Tree>
bool QuantizePixels(const BgrRows& pixels, Gdiplus::GpBitmap* destination8, unsigned maxColors)
{
    using namespace Gdiplus;
    if (maxColors < OctreeQuantizer::MinColors || maxColors > OctreeQuantizer::MaxColors)
        return false;
    Tree tree(maxColors);
    if (!tree.IsReady())
        return false;
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

    const BitsLock destination(destination8, pixels.width, pixels.height, ImageLockModeWrite,
                               PixelFormat8bppIndexed);
    if (!destination.IsLocked())
        return false;
    tree.MapPixels(pixels, IndexRows{destination.Scan0(), destination.Stride()});
    return true;
}

// Both passes of tree over a 24-bit source; true on success.
template <class Tree>
bool QuantizeOctreeWith(Gdiplus::GpBitmap* source24, Gdiplus::GpBitmap* destination8, unsigned maxColors)
{
    using namespace Gdiplus;
    if (maxColors < OctreeQuantizer::MinColors || maxColors > OctreeQuantizer::MaxColors)
        return false;
    UINT width = 0;
    UINT height = 0;
    DllExports::GdipGetImageWidth(source24, &width);
    DllExports::GdipGetImageHeight(source24, &height);
    const BitsLock source(source24, width, height, ImageLockModeRead, PixelFormat24bppRGB);
    if (!source.IsLocked())
        return false;
    return QuantizePixels<Tree>(BgrRows{source.Scan0(), source.Stride(), width, height, 3}, destination8, maxColors);
}

// True when every pixel of 32-bit rows has alpha 255.
inline bool IsOpaque(const BgrRows& pixels)
{
    for (uint32_t y = 0; y < pixels.height; ++y) {
        const uint8_t* row = pixels.scan0 + static_cast<ptrdiff_t>(y) * pixels.stride;
        uint8_t all = 0xFF;
        for (uint32_t x = 0; x < pixels.width; ++x)
            all &= row[4 * static_cast<size_t>(x) + 3];
        if (all != 0xFF)
            return false;
    }
    return true;
}

// The 24-bit copy of image, drawn with default settings; null on failure.
inline Gdiplus::GpBitmap* DrawTwentyFourBitCopy(Gdiplus::GpBitmap* image, UINT width, UINT height)
{
    using namespace Gdiplus;
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                              PixelFormat24bppRGB, nullptr, &bitmap) != Ok)
        return nullptr;
    ImageOwner copy(bitmap);
    GpGraphics* graphics = nullptr;
    GpStatus status = DllExports::GdipGetImageGraphicsContext(bitmap, &graphics);
    if (status == Ok) {
        status = DllExports::GdipDrawImageRectI(graphics, image, 0, 0, static_cast<INT>(width),
                                                static_cast<INT>(height));
        DllExports::GdipDeleteGraphics(graphics);
    }
    return status == Ok ? copy.Release() : nullptr;
}

// A new 8-bit indexed bitmap of image made with tree, or null.
//
// A 24-bit image is read as it is. So is a 32-bit one whose pixels are all
// opaque: drawing it into a 24-bit copy would give exactly its blue, green
// and red bytes, and the copy costs several times the conversion (the
// capture's own images are 32-bit). Any other image is drawn into a 24-bit
// copy first, which blends translucent pixels the way drawing does.
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

    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                              PixelFormat8bppIndexed, nullptr, &bitmap) != Ok)
        return nullptr;
    ImageOwner destination(bitmap);

    if (format == PixelFormat32bppRGB || format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB) {
        const BitsLock source(image, width, height, ImageLockModeRead, format);
        if (source.IsLocked()) {
            const BgrRows pixels{source.Scan0(), source.Stride(), width, height, 4};
            if (format == PixelFormat32bppRGB || IsOpaque(pixels))
                return QuantizePixels<Tree>(pixels, bitmap, maxColors) ? destination.Release() : nullptr;
        }
    }
    ImageOwner copy;
    GpBitmap* source24 = image;
    if (format != PixelFormat24bppRGB) {
        copy.Reset(DrawTwentyFourBitCopy(image, width, height));
        if (!copy.Get())
            return nullptr;
        source24 = copy.Get();
    }
    return QuantizeOctreeWith<Tree>(source24, bitmap, maxColors) ? destination.Release() : nullptr;
}

}  // namespace octree_bitmaps
