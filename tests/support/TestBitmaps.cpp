#include "tests/support/TestBitmaps.h"

#include <algorithm>

Gdiplus::GpBitmap* MakeBitmap(const BgrImage& image, Gdiplus::PixelFormat format,
                              uint8_t (*fourthByte)(uint32_t x, uint32_t y))
{
    using namespace Gdiplus;
    const unsigned bytesPerPixel = format == PixelFormat24bppRGB ? 3 : 4;
    if (format != PixelFormat24bppRGB && format != PixelFormat32bppRGB && format != PixelFormat32bppARGB &&
        format != PixelFormat32bppPARGB)
        return nullptr;
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(image.width), static_cast<INT>(image.height), 0, format,
                                              nullptr, &bitmap) != Ok)
        return nullptr;
    const GpRect all(0, 0, static_cast<INT>(image.width), static_cast<INT>(image.height));
    BitmapData data{};
    if (DllExports::GdipBitmapLockBits(bitmap, &all, ImageLockModeWrite, format, &data) != Ok) {
        DllExports::GdipDisposeImage(bitmap);
        return nullptr;
    }
    for (uint32_t y = 0; y < image.height; ++y) {
        uint8_t* out = static_cast<uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t rgb = image.Get(x, y);
            out[x * bytesPerPixel] = static_cast<uint8_t>(rgb);
            out[x * bytesPerPixel + 1] = static_cast<uint8_t>(rgb >> 8);
            out[x * bytesPerPixel + 2] = static_cast<uint8_t>(rgb >> 16);
            if (bytesPerPixel == 4)
                out[x * bytesPerPixel + 3] = fourthByte ? fourthByte(x, y) : 0xFF;
        }
    }
    DllExports::GdipBitmapUnlockBits(bitmap, &data);
    return bitmap;
}

BgrImage ReadPixels(Gdiplus::GpBitmap* bitmap)
{
    using namespace Gdiplus;
    UINT width = 0;
    UINT height = 0;
    DllExports::GdipGetImageWidth(bitmap, &width);
    DllExports::GdipGetImageHeight(bitmap, &height);
    BgrImage image(width, height);
    const GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    BitmapData data{};
    if (DllExports::GdipBitmapLockBits(bitmap, &all, ImageLockModeRead, PixelFormat24bppRGB, &data) != Ok)
        return BgrImage();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
        std::copy(row, row + width * 3, image.bytes.begin() + static_cast<ptrdiff_t>(y) * image.stride);
    }
    DllExports::GdipBitmapUnlockBits(bitmap, &data);
    return image;
}

IndexedImage ReadIndexed(Gdiplus::GpBitmap* bitmap)
{
    using namespace Gdiplus;
    IndexedImage out;
    UINT width = 0;
    UINT height = 0;
    DllExports::GdipGetImageWidth(bitmap, &width);
    DllExports::GdipGetImageHeight(bitmap, &height);
    INT size = 0;
    DllExports::GdipGetImagePaletteSize(bitmap, &size);
    std::vector<uint8_t> block(std::max<size_t>(static_cast<size_t>(std::max(size, 0)), sizeof(ColorPalette)));
    auto* palette = reinterpret_cast<ColorPalette*>(block.data());
    if (size > 0 && DllExports::GdipGetImagePalette(bitmap, palette, size) == Ok)
        out.palette.assign(palette->Entries, palette->Entries + palette->Count);
    const GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    BitmapData data{};
    if (DllExports::GdipBitmapLockBits(bitmap, &all, ImageLockModeRead, PixelFormat8bppIndexed, &data) == Ok) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
            out.indices.insert(out.indices.end(), row, row + width);
        }
        DllExports::GdipBitmapUnlockBits(bitmap, &data);
    }
    return out;
}
