// The output's drawing and imaging stages on real GDI and GDI+ images: the
// highlight, the crop, scaling to 96 DPI and encoding.
#include <gtest/gtest.h>

#include "OutputTestSupport.h"
#include "TestSupport.h"
#include "output/ImageEncoding.h"
#include "output/ImageStages.h"
#include "output/OutputPipeline.h"
#include "capture/MagnifierView.h"
#include "output/ScreenImage.h"

using namespace Gdiplus::DllExports;

namespace {

// A GDI+ bitmap of one colour.
GdipBitmapPtr SolidImage(int width, int height, Gdiplus::ARGB colour,
                         Gdiplus::PixelFormat format = PixelFormat32bppRGB)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap), Gdiplus::Ok);
    GdipBitmapPtr owner(bitmap);
    Gdiplus::GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok) {
        GdipGraphicsClear(graphics, colour);
        GdipDeleteGraphics(graphics);
    }
    return owner;
}

CSize ImageSize(Gdiplus::GpBitmap* image)
{
    UINT w = 0, h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    return CSize(static_cast<int>(w), static_cast<int>(h));
}

// The screen image of the test application, selected into its DC for the
// scope.
struct SelectedScreen {
    explicit SelectedScreen(OutputTestApp& app) : select(app.m_session.m_dcScreen, app.m_session.m_bmpScreen) {}
    CSelection select;
};

}  // namespace

// --- highlight and crop (GDI) -----------------------------------------------

TEST(ScreenImage, HighlightIsARedOutlineTwoPixelsWideOnTheInsideEdge)
{
    OutputTestApp app;
    app.MakeScreenImage(120, 100);
    const CRect rc(20, 30, 90, 80);
    {
        SelectedScreen screen(app);
        DrawHighlightOutline(app.m_session.m_dcScreen, rc);
    }
    const Pixels p = ReadBitmap(app.m_session.m_bmpScreen);
    ASSERT_EQ(p.width, 120);
    auto isCorner = [&](int x, int y) {
        return (x == rc.left || x == rc.right - 1) && (y == rc.top || y == rc.bottom - 1);
    };
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const bool inside = x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
            // Distance from the rectangle's edge, counted inwards from 0.
            const int ring = inside ? std::min({x - rc.left, rc.right - 1 - x, y - rc.top, rc.bottom - 1 - y}) : -1;
            if (ring == 0 && isCorner(x, y))
                continue;  // the rounding of the outer ring may leave the very corner out
            const uint32_t expected = (ring == 0 || ring == 1) ? kRed : PatternAt(x, y);
            ASSERT_EQ(p.At(x, y), expected) << "at " << x << "," << y << " ring " << ring;
        }
    }
}

TEST(ScreenImage, CropCopiesTheAreaExactly)
{
    OutputTestApp app;
    app.MakeScreenImage(200, 150);
    const CRect area(13, 27, 113, 77);
    CBitmap cropped;
    {
        SelectedScreen screen(app);
        ASSERT_TRUE(CropScreenImage(app.m_session.m_dcScreen, CSize(200, 150), area, cropped));
    }
    EXPECT_TRUE(SamePixels(ReadBitmap(cropped), PatternOver(area)));
}

TEST(ScreenImage, AreaBeyondTheScreenImageIsBlack)
{
    OutputTestApp app;
    app.MakeScreenImage(100, 80);
    for (const CRect area : {CRect(-20, -10, 40, 30), CRect(70, 50, 130, 120), CRect(-200, 0, -100, 50)}) {
        CBitmap cropped;
        {
            SelectedScreen screen(app);
            ASSERT_TRUE(CropScreenImage(app.m_session.m_dcScreen, CSize(100, 80), area, cropped));
        }
        const Pixels p = ReadBitmap(cropped);
        ASSERT_EQ(p.width, area.Width());
        ASSERT_EQ(p.height, area.Height());
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const int sx = x + area.left, sy = y + area.top;
                const bool onScreen = sx >= 0 && sx < 100 && sy >= 0 && sy < 80;
                ASSERT_EQ(p.At(x, y), onScreen ? PatternAt(sx, sy) : kBlack) << "at " << sx << "," << sy;
            }
    }
}

TEST(ScreenImage, AnAreaTooLargeForMemoryGivesNoBitmap)
{
    OutputTestApp app;
    app.MakeScreenImage(10, 10);
    CBitmap cropped;
    SelectedScreen screen(app);
    EXPECT_FALSE(CropScreenImage(app.m_session.m_dcScreen, CSize(10, 10), CRect(0, 0, 200000, 200000), cropped));
    EXPECT_EQ(cropped.GetSafeHandle(), nullptr);
}

// --- scaling to 96 DPI (GDI+) -------------------------------------------------

TEST(ImageStages, ScalingGivesTheStandardSizeInTheSameFormat)
{
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.IsRunning());
    struct Case {
        int dpi, width, height, scaledWidth, scaledHeight;
    };
    for (const Case c : {Case{144, 1366, 768, 910, 512}, Case{120, 1366, 768, 1092, 614},
                         Case{72, 1366, 768, 1821, 1024}, Case{144, 1, 1, 1, 1}, Case{480, 3, 700, 1, 140}}) {
        GdipBitmapPtr image = SolidImage(c.width, c.height, 0xFF2080C0);
        ASSERT_EQ(ScaleToStandardDpi(image, c.dpi), Gdiplus::Ok) << c.dpi;
        const CSize size = ImageSize(image.get());
        EXPECT_EQ(size.cx, c.scaledWidth) << c.dpi << " " << c.width;
        EXPECT_EQ(size.cy, c.scaledHeight) << c.dpi << " " << c.height;
        Gdiplus::PixelFormat format = 0;
        GdipGetImagePixelFormat(image.get(), &format);
        EXPECT_EQ(format, static_cast<Gdiplus::PixelFormat>(PixelFormat32bppRGB));
        // The picture itself is redrawn, not left blank.
        Gdiplus::ARGB centre = 0;
        GdipBitmapGetPixel(image.get(), size.cx / 2, size.cy / 2, &centre);
        EXPECT_EQ(centre & 0xFFFFFF, 0x2080C0u) << c.dpi << " " << c.width;
    }
}

TEST(ImageStages, AtStandardDpiTheImageStaysAsItIs)
{
    GdiplusSession gdiplus;
    GdipBitmapPtr image = SolidImage(37, 21, 0xFF000000);
    Gdiplus::GpBitmap* before = image.get();
    ASSERT_EQ(ScaleToStandardDpi(image, 96), Gdiplus::Ok);
    EXPECT_EQ(image.get(), before);
}

TEST(ImageStages, GdiBitmapBecomesAnImageOfTheSamePixels)
{
    OutputTestApp app;
    app.MakeScreenImage(64, 48);
    GdiplusSession gdiplus;
    GdipBitmapPtr image;
    ASSERT_EQ(ImageFromBitmap(app.m_session.m_bmpScreen, image), Gdiplus::Ok);
    const CSize size = ImageSize(image.get());
    ASSERT_EQ(size.cx, 64);
    ASSERT_EQ(size.cy, 48);
    for (int y = 0; y < 48; y += 7)
        for (int x = 0; x < 64; x += 5) {
            Gdiplus::ARGB px = 0;
            GdipBitmapGetPixel(image.get(), x, y, &px);
            ASSERT_EQ(px & 0xFFFFFF, PatternAt(x, y)) << x << "," << y;
        }
}

// --- encoders and saving ------------------------------------------------------

TEST(ImageEncoding, EncoderIsFoundByItsExactMimeType)
{
    GdiplusSession gdiplus;
    UINT count = 0, bytes = 0;
    ASSERT_EQ(GdipGetImageEncodersSize(&count, &bytes), Gdiplus::Ok);
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    ASSERT_EQ(GdipGetImageEncoders(count, bytes, codecs), Gdiplus::Ok);
    for (const wchar_t* mime : {L"image/jpeg", L"image/gif", L"image/png"}) {
        CLSID clsid{};
        const int index = GetEncoderClsid(mime, &clsid);
        ASSERT_GE(index, 0) << ToAnsi(mime);
        ASSERT_LT(index, static_cast<int>(count));
        EXPECT_EQ(CString(codecs[index].MimeType), mime);
        EXPECT_TRUE(IsEqualCLSID(codecs[index].Clsid, clsid));
    }
    CLSID untouched{};
    EXPECT_EQ(GetEncoderClsid(L"image/PNG", &untouched), -1);
    EXPECT_EQ(GetEncoderClsid(L"image/x-none", &untouched), -1);
    EXPECT_TRUE(IsEqualCLSID(untouched, CLSID{}));
}

TEST(ImageEncoding, PngRoundTripsExactly)
{
    OutputTestApp app;
    app.MakeScreenImage(90, 40);
    GdiplusSession gdiplus;
    GdipBitmapPtr image;
    ASSERT_EQ(ImageFromBitmap(app.m_session.m_bmpScreen, image), Gdiplus::Ok);
    const CString path = TempDirPath(L"orvo-roundtrip.png");
    EXPECT_EQ(SaveImage(image.get(), path, FindOutputFormat(FormatPng)), L"");
    EXPECT_TRUE(SamePixels(ReadImageFile(path), PatternOver(CRect(0, 0, 90, 40))));
    ::DeleteFileW(path);
}

TEST(ImageEncoding, JpegQualitiesAreHandedToTheEncoder)
{
    OutputTestApp app;
    app.MakeScreenImage(64, 32);
    GdiplusSession gdiplus;
    GdipBitmapPtr image;
    ASSERT_EQ(ImageFromBitmap(app.m_session.m_bmpScreen, image), Gdiplus::Ok);
    const std::pair<int, ULONG> formats[] = {{FormatJpgHigh, 95}, {FormatJpgMedium, 90}, {FormatJpgLow, 85}};
    for (const auto& [format, quality] : formats) {
        // The block the encoder is given: the quality GUID of the SDK, one
        // 32-bit value.
        const JpegQualityParameters block(FindOutputFormat(format)->jpegQuality);
        ASSERT_EQ(block.m_block.Count, 1u);
        EXPECT_TRUE(IsEqualGUID(block.m_block.Parameter[0].Guid, Gdiplus::EncoderQuality));
        EXPECT_EQ(block.m_block.Parameter[0].NumberOfValues, 1u);
        EXPECT_EQ(block.m_block.Parameter[0].Type, static_cast<ULONG>(Gdiplus::EncoderParameterValueTypeLong));
        EXPECT_EQ(*static_cast<const ULONG*>(block.m_block.Parameter[0].Value), quality);

        // GDI+ here accepts it and writes a JPEG of the image's size (it does
        // not vary its output by quality, so sizes tell nothing).
        const CString path = TempDirPath(L"orvo-quality.jpg");
        ASSERT_EQ(SaveImage(image.get(), path, FindOutputFormat(format)), L"");
        EXPECT_EQ(ReadFileBytes(path).substr(0, 2), "\xFF\xD8");
        const Pixels decoded = ReadImageFile(path);
        EXPECT_EQ(decoded.width, 64);
        EXPECT_EQ(decoded.height, 32);
        ::DeleteFileW(path);
    }
}

TEST(ImageEncoding, NoFormatIsUnknownImageFormatAndWritesNothing)
{
    GdiplusSession gdiplus;
    GdipBitmapPtr image = SolidImage(8, 8, 0xFFFFFFFF);
    const CString path = TempDirPath(L"orvo-noformat.");
    ::DeleteFileW(path);
    EXPECT_EQ(SaveImage(image.get(), path, nullptr), L"Unknown Image Format");
    EXPECT_FALSE(FileExists(path));
}

TEST(ImageEncoding, FormatWithoutAnEncoderIsSaidByNameAndWritesNothing)
{
    GdiplusSession gdiplus;
    GdipBitmapPtr image = SolidImage(8, 8, 0xFFFFFFFF);
    const OutputFormatInfo made_up{FormatPng, L"xyz", L"image/x-none", 0};
    const CString path = TempDirPath(L"orvo-noencoder.xyz");
    ::DeleteFileW(path);
    EXPECT_EQ(SaveImage(image.get(), path, &made_up), L"No encoder for image/x-none");
    EXPECT_FALSE(FileExists(path));
}

TEST(ImageEncoding, SaveIntoAMissingFolderReportsItsStatus)
{
    GdiplusSession gdiplus;
    GdipBitmapPtr image = SolidImage(8, 8, 0xFFFFFFFF);
    // A folder that does not exist.
    const CString missing = TempDirPath(L"orvo-no-such-folder\\shot.png");
    const CString reason = SaveImage(image.get(), missing, FindOutputFormat(FormatPng));
    EXPECT_NE(reason, L"");
    EXPECT_NE(reason, L"No error");
    EXPECT_FALSE(FileExists(missing));
}

TEST(ImageEncoding, SaveThatFailsHalfWayLeavesNoFileItMade)
{
    GdiplusSession gdiplus;
    // GDI+ here creates the file, then cannot encode a 1-bit image as GIF.
    GdipBitmapPtr image = SolidImage(8, 8, 0xFFFFFFFF, PixelFormat1bppIndexed);
    const CString path = TempDirPath(L"orvo-halfway.gif");
    ::DeleteFileW(path);
    EXPECT_EQ(SaveImage(image.get(), path, FindOutputFormat(FormatGif)), L"Generic Error");
    EXPECT_FALSE(FileExists(path));

    // A file that was there before the save is not the save's to remove.
    TempFile earlier(std::string("earlier"), L"orvo-halfway-earlier.gif");
    EXPECT_EQ(SaveImage(image.get(), earlier.Path(), FindOutputFormat(FormatGif)), L"Generic Error");
    EXPECT_TRUE(FileExists(earlier.Path()));
}

TEST(ImageStages, GifReductionGivesAnIndexedImageCloseToTheOriginal)
{
    // More colours than a palette holds.
    OutputTestApp app;
    app.MakeScreenImage(256, 64);
    GdiplusSession gdiplus;
    GdipBitmapPtr image;
    ASSERT_EQ(ImageFromBitmap(app.m_session.m_bmpScreen, image), Gdiplus::Ok);
    ASSERT_TRUE(ReduceToPalette(image));
    Gdiplus::PixelFormat format = 0;
    GdipGetImagePixelFormat(image.get(), &format);
    EXPECT_EQ(format, static_cast<Gdiplus::PixelFormat>(PixelFormat8bppIndexed));
    const CSize size = ImageSize(image.get());
    ASSERT_EQ(size.cx, 256);
    ASSERT_EQ(size.cy, 64);
    for (int y = 0; y < 64; y += 3)
        for (int x = 0; x < 256; x += 3) {
            Gdiplus::ARGB px = 0;
            GdipBitmapGetPixel(image.get(), x, y, &px);
            const uint32_t want = PatternAt(x, y);
            for (int shift : {0, 8, 16}) {
                const int got = static_cast<int>((px >> shift) & 0xFF);
                const int expected = static_cast<int>((want >> shift) & 0xFF);
                ASSERT_LE(std::abs(got - expected), 40) << "at " << x << "," << y;
            }
        }
}
