// Speed of the colour quantizer on screen-like pictures, beside the plain
// octree (one heap object per node, the sorted list walked after every
// count) on the same bitmaps in the same run.
//   quantizer_bench [RUNS]
// For a 3840x2160 and a 1920x1080 desktop it prints, for QColorQuantizer's
// Convert (256 colours) and for the plain octree through the same GDI+
// steps, the median time and megapixels per second, their ratio, and
// whether both gave the same palette and indices; then the same for the bare
// passes over the pixels without GDI+. Exits with 1 when the outputs differ.
#include <windows.h>
// gdiplus.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "output/ColorQuantizer.h"
#include "output/OctreeBitmaps.h"
#include "output/OctreeQuantizer.h"
#include "tests/support/PlainOctree.h"
#include "tests/support/SyntheticImages.h"
#include "tests/support/TestBitmaps.h"

namespace {

constexpr unsigned kColours = 256;

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median seconds of runs calls of convert on bitmap; the first result kept.
template <class ConvertFunction>
double TimeConvert(ConvertFunction convert, Gdiplus::GpBitmap* bitmap, int runs, IndexedImage& first)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        Gdiplus::GpBitmap* result = convert(bitmap);
        times.push_back(Now() - start);
        if (!result) {
            std::printf("conversion failed\n");
            std::exit(2);
        }
        if (run == 0)
            first = ReadIndexed(result);
        Gdiplus::DllExports::GdipDisposeImage(result);
    }
    return Median(times);
}

// The bare passes of a tree over the pixels in memory, into indices that
// stay in place from run to run.
template <class Tree>
double TimePasses(const BgrImage& image, int runs, IndexedImage& first)
{
    std::vector<double> times;
    std::vector<uint8_t> indices(static_cast<size_t>(image.width) * image.height);
    for (int run = 0; run < runs; ++run) {
        uint32_t palette[kColours];
        const double start = Now();
        Tree tree(kColours);
        tree.AddPixels(image.Rows());
        const unsigned count = tree.BuildPalette(palette);
        tree.MapPixels(image.Rows(), IndexRows{indices.data(), static_cast<ptrdiff_t>(image.width)});
        times.push_back(Now() - start);
        if (run == 0) {
            first.palette.assign(palette, palette + count);
            first.indices = indices;
        }
    }
    return Median(times);
}

// What every conversion pays before any work of its own: a new 8-bit
// bitmap, locked, written once and disposed of. Fresh memory is costly to
// touch on some machines; this shows how much.
double TimeFreshBitmap(uint32_t width, uint32_t height, int runs)
{
    using namespace Gdiplus;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const double start = Now();
        GpBitmap* bitmap = nullptr;
        DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                              PixelFormat8bppIndexed, nullptr, &bitmap);
        const GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
        BitmapData data{};
        if (bitmap && DllExports::GdipBitmapLockBits(bitmap, &all, ImageLockModeWrite, PixelFormat8bppIndexed,
                                                     &data) == Ok) {
            for (uint32_t y = 0; y < height; ++y)
                std::memset(static_cast<uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                            static_cast<int>(y), width);
            DllExports::GdipBitmapUnlockBits(bitmap, &data);
        }
        DllExports::GdipDisposeImage(bitmap);
        times.push_back(Now() - start);
    }
    return Median(times);
}

void PrintLine(const char* what, double seconds, double megapixels, int runs)
{
    std::printf("  %-34s median %8.2f ms = %7.1f Mpix/s (%d runs)\n", what, seconds * 1000, megapixels / seconds,
                runs);
}

bool Measure(uint32_t width, uint32_t height, int runs)
{
    const BgrImage image = MakeDesktopImage(width, height);
    const double megapixels = static_cast<double>(width) * height / 1e6;
    std::printf("desktop %ux%u: %zu distinct colours\n", width, height, CountColours(image));
    std::fflush(stdout);

    Gdiplus::GpBitmap* bitmap = MakeBitmap(image, PixelFormat24bppRGB);
    if (!bitmap) {
        std::printf("cannot make the bitmap\n");
        std::exit(2);
    }
    const int plainRuns = std::max(3, runs / 3);
    IndexedImage fast;
    IndexedImage plain;
    QColorQuantizer quantizer;
    const double fastConvert = TimeConvert(
        [&](Gdiplus::GpBitmap* b) { return quantizer.Convert(b, QColorQuantizer::Octree, kColours); }, bitmap, runs, fast);
    const double plainConvert = TimeConvert(
        [&](Gdiplus::GpBitmap* b) {
            return octree_bitmaps::ConvertWith<PlainOctree>(b, QColorQuantizer::Octree, kColours);
        },
        bitmap, plainRuns, plain);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    const bool sameConvert = fast == plain && !fast.indices.empty();
    PrintLine("QColorQuantizer::Convert", fastConvert, megapixels, runs);
    PrintLine("plain octree, same GDI+ steps", plainConvert, megapixels, plainRuns);
    std::printf("  ratio %.2fx; %zu palette entries; palettes and indices %s\n", plainConvert / fastConvert,
                fast.palette.size(), sameConvert ? "identical" : "DIFFER");

    IndexedImage fastBare;
    IndexedImage plainBare;
    const double fastPasses = TimePasses<OctreeQuantizer>(image, runs, fastBare);
    const double plainPasses = TimePasses<PlainOctree>(image, plainRuns, plainBare);
    const bool samePasses = fastBare == plainBare && fastBare == fast;
    PrintLine("OctreeQuantizer passes, no GDI+", fastPasses, megapixels, runs);
    PrintLine("plain octree passes, no GDI+", plainPasses, megapixels, plainRuns);
    std::printf("  ratio %.2fx; palettes and indices %s\n", plainPasses / fastPasses,
                samePasses ? "identical" : "DIFFER");
    PrintLine("fresh 8-bit bitmap written once", TimeFreshBitmap(width, height, runs), megapixels, runs);
    std::printf("\n");
    std::fflush(stdout);
    return sameConvert && samePasses;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const GdiplusSession gdiplus;
    if (!gdiplus.IsStarted()) {
        std::printf("GDI+ did not start\n");
        return 2;
    }
    bool same = Measure(3840, 2160, runs);
    same = Measure(1920, 1080, runs) && same;
    return same ? 0 : 1;
}
