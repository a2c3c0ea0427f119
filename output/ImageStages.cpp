#include "output/ImageStages.h"

#include "output/ColorQuantizer.h"
#include "output/OutputGeometry.h"

using namespace Gdiplus::DllExports;

Gdiplus::Status ImageFromBitmap(HBITMAP bitmap, GdipBitmapPtr& image)
{
    Gdiplus::GpBitmap* made = nullptr;
    const Gdiplus::Status status =
        GdipCreateBitmapFromHBITMAP(bitmap, static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE)), &made);
    if (status != Gdiplus::Ok)
        return status;
    image.reset(made);
    return Gdiplus::Ok;
}

Gdiplus::Status ScaleToStandardDpi(GdipBitmapPtr& image, int dpi)
{
    const double factor = StandardDpiFactor(dpi);
    if (factor == 1.0)
        return Gdiplus::Ok;

    UINT width = 0, height = 0;
    Gdiplus::PixelFormat format = 0;
    GdipGetImageWidth(image.get(), &width);
    GdipGetImageHeight(image.get(), &height);
    GdipGetImagePixelFormat(image.get(), &format);
    // Never zero: an area one pixel wide stays one pixel wide.
    const INT scaledWidth = static_cast<INT>(ScaledLength(width, factor));
    const INT scaledHeight = static_cast<INT>(ScaledLength(height, factor));

    Gdiplus::GpBitmap* made = nullptr;
    Gdiplus::Status status = GdipCreateBitmapFromScan0(scaledWidth, scaledHeight, 0, format, nullptr, &made);
    if (status != Gdiplus::Ok)
        return status;
    GdipBitmapPtr scaled(made);

    Gdiplus::GpGraphics* graphics = nullptr;
    status = GdipGetImageGraphicsContext(scaled.get(), &graphics);
    if (status != Gdiplus::Ok)
        return status;
    GdipGraphicsPtr owner(graphics);
    GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    status = GdipDrawImageRectI(graphics, image.get(), 0, 0, scaledWidth, scaledHeight);
    if (status != Gdiplus::Ok)
        return status;
    owner.reset();

    image = std::move(scaled);
    return Gdiplus::Ok;
}

bool ReduceToPalette(GdipBitmapPtr& image)
{
    QColorQuantizer quantizer;
    Gdiplus::GpBitmap* reduced = quantizer.Convert(image.get(), QColorQuantizer::Octree, 256);
    if (!reduced)
        return false;
    image.reset(reduced);
    return true;
}
