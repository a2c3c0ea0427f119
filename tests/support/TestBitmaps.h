// GDI+ for the quantizer's tests and benchmark: a running GDI+ for a scope,
// pictures as bitmaps, and what an 8-bit indexed bitmap holds.
#pragma once

#include <windows.h>
// gdiplus.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <vector>

#include "tests/support/SyntheticImages.h"

// GDI+ started for the life of the object.
class GdiplusSession {
public:
    GdiplusSession()
    {
        const Gdiplus::GdiplusStartupInput input;
        m_bStarted = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (m_bStarted)
            Gdiplus::GdiplusShutdown(m_token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool IsStarted() const { return m_bStarted; }

private:
    ULONG_PTR m_token = 0;
    bool m_bStarted = false;
};

// A GDI+ image disposed of with the object.
class TestImage {
public:
    explicit TestImage(Gdiplus::GpBitmap* bitmap = nullptr) : m_bitmap(bitmap) {}
    ~TestImage()
    {
        if (m_bitmap)
            Gdiplus::DllExports::GdipDisposeImage(m_bitmap);
    }
    TestImage(const TestImage&) = delete;
    TestImage& operator=(const TestImage&) = delete;
    Gdiplus::GpBitmap* Get() const { return m_bitmap; }

private:
    Gdiplus::GpBitmap* m_bitmap;
};

// A GDI+ bitmap holding the picture in PixelFormat24bppRGB, 32bppRGB,
// 32bppARGB or 32bppPARGB, or null; the caller disposes of it. The fourth
// byte of 32-bit pixels is 255 (opaque) unless fourthByte gives it.
Gdiplus::GpBitmap* MakeBitmap(const BgrImage& image, Gdiplus::PixelFormat format,
                              uint8_t (*fourthByte)(uint32_t x, uint32_t y) = nullptr);

// The 24-bit pixels of any bitmap, read through a lock.
BgrImage ReadPixels(Gdiplus::GpBitmap* bitmap);

// Palette and row-by-row indices of an 8-bit indexed bitmap.
struct IndexedImage {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;  // width bytes per row, no padding
    bool operator==(const IndexedImage&) const = default;
};
IndexedImage ReadIndexed(Gdiplus::GpBitmap* bitmap);

// The same for a tree run over pixels in memory: BuildPalette, MapPixels.
template <class Tree>
IndexedImage RunPasses(Tree& tree, const BgrImage& image)
{
    IndexedImage out;
    uint32_t entries[256];
    const unsigned count = tree.BuildPalette(entries);
    out.palette.assign(entries, entries + count);
    out.indices.resize(static_cast<size_t>(image.width) * image.height);
    tree.MapPixels(image.Rows(), IndexRows{out.indices.data(), static_cast<ptrdiff_t>(image.width)});
    return out;
}
