// Speed of the colour quantizer on screen-like pictures, beside the plain
// octree (one heap object per node, the sorted list walked after every
// count) on the same pictures in the same run.
//   quantizer_bench [ROUNDS]
// For a 3840x2160 and a 1920x1080 desktop it prints, for QColorQuantizer's
// Convert (256 colours) and for the plain octree through the same GDI+
// steps, the median time and megapixels per second on the wall clock, the
// best run, the mean processor time, the ratios, and whether both gave the
// same palette and indices: once from a 24-bit bitmap and once from a
// 32-bit one (what a capture gives), which must give the same result. Then
// where Convert's time goes: each pass over pixels in memory, what a fresh
// 8-bit bitmap costs to fill once (every conversion pays it), and what
// drawing a 24-bit copy of the 32-bit bitmap would cost. Last the bare
// passes of both trees. The plain octree runs in every third round,
// interleaved, so both see the same machine.
// Exits with 1 when the outputs differ.
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
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Processor time of this thread so far, in seconds. Its clock ticks in
// steps of 10 ms or so, but the mean over many runs holds; unlike the
// wall clock it does not count time other programs took from this one.
double ThreadSeconds()
{
    FILETIME creation, exit, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &creation, &exit, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>(static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Seconds of each run of one thing: the wall clock, and the processor time
// of all runs together.
class Samples {
public:
    template <class Work>
    void Time(Work&& work)
    {
        const double cpuStart = ThreadSeconds();
        const double start = Now();
        work();
        m_seconds.push_back(Now() - start);
        m_cpuSeconds += ThreadSeconds() - cpuStart;
    }
    double Median() const
    {
        std::vector<double> sorted = m_seconds;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Best() const { return *std::min_element(m_seconds.begin(), m_seconds.end()); }
    double MeanCpu() const { return m_cpuSeconds / static_cast<double>(m_seconds.size()); }
    void Print(const char* what, double megapixels) const
    {
        std::printf("  %-34s median %7.2f ms = %6.1f Mpix/s, best %6.1f Mpix/s, processor %7.2f ms = %6.1f Mpix/s"
                    " (%zu runs)\n",
                    what, Median() * 1000, megapixels / Median(), megapixels / Best(), MeanCpu() * 1000,
                    megapixels / MeanCpu(), m_seconds.size());
    }

private:
    std::vector<double> m_seconds;
    double m_cpuSeconds = 0;
};

// A conversion of bitmap, timed; the result of the first one kept.
template <class ConvertFunction>
void TimeConvert(Samples& samples, ConvertFunction convert, Gdiplus::GpBitmap* bitmap, IndexedImage& first)
{
    Gdiplus::GpBitmap* result = nullptr;
    samples.Time([&] { result = convert(bitmap); });
    if (!result) {
        std::printf("conversion failed\n");
        std::exit(2);
    }
    if (first.indices.empty())
        first = ReadIndexed(result);
    Gdiplus::DllExports::GdipDisposeImage(result);
}

// The bare passes of a tree over the pixels in memory, into indices that
// stay in place from run to run; the result of the first one kept.
template <class Tree>
void TimePasses(Samples& samples, const BgrImage& image, std::vector<uint8_t>& indices, IndexedImage& first)
{
    uint32_t palette[kColours];
    unsigned count = 0;
    samples.Time([&] {
        Tree tree(kColours);
        tree.AddPixels(image.Rows());
        count = tree.BuildPalette(palette);
        tree.MapPixels(image.Rows(), IndexRows{indices.data(), static_cast<ptrdiff_t>(image.width)});
    });
    if (first.indices.empty()) {
        first.palette.assign(palette, palette + count);
        first.indices = indices;
    }
}

// The quantizer's steps one by one over the pixels in memory.
struct StageSamples {
    Samples firstPass, palette, secondPass;
};

void TimeStages(StageSamples& samples, const BgrImage& image, std::vector<uint8_t>& indices)
{
    OctreeQuantizer tree(kColours);
    uint32_t palette[kColours];
    samples.firstPass.Time([&] { tree.AddPixels(image.Rows()); });
    samples.palette.Time([&] { tree.BuildPalette(palette); });
    samples.secondPass.Time(
        [&] { tree.MapPixels(image.Rows(), IndexRows{indices.data(), static_cast<ptrdiff_t>(image.width)}); });
}

// What every conversion pays before any work of its own: a new 8-bit
// bitmap, locked, written once and disposed of. Fresh memory is costly to
// touch on some machines; this shows how much.
void TimeFreshBitmap(Samples& samples, uint32_t width, uint32_t height)
{
    using namespace Gdiplus;
    samples.Time([&] {
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
    });
}

// Drawing a 24-bit copy of a 32-bit bitmap: what a source that cannot be
// read as it is costs besides the passes.
void TimeCopy(Samples& samples, Gdiplus::GpBitmap* bitmap, uint32_t width, uint32_t height)
{
    samples.Time([&] { const TestImage copy(octree_bitmaps::DrawTwentyFourBitCopy(bitmap, width, height)); });
}

void PrintRatio(const Samples& fast, const Samples& plain, const char* what, bool same)
{
    std::printf("  ratio %.2fx (processor time %.2fx); %s %s\n", plain.Median() / fast.Median(),
                plain.MeanCpu() / fast.MeanCpu(), what, same ? "identical" : "DIFFER");
}

bool Measure(uint32_t width, uint32_t height, int rounds)
{
    const BgrImage image = MakeDesktopImage(width, height);
    const double megapixels = static_cast<double>(width) * height / 1e6;
    std::printf("desktop %ux%u: %zu distinct colours\n", width, height, CountColours(image));
    std::fflush(stdout);
    const TestImage bitmap(MakeBitmap(image, PixelFormat24bppRGB));
    const TestImage bitmap32(MakeBitmap(image, PixelFormat32bppRGB));
    if (!bitmap.Get() || !bitmap32.Get()) {
        std::printf("cannot make the bitmaps\n");
        std::exit(2);
    }

    QColorQuantizer quantizer;
    const auto fastConvert = [&](Gdiplus::GpBitmap* source) {
        return quantizer.Convert(source, QColorQuantizer::Octree, kColours);
    };
    const auto plainConvert = [](Gdiplus::GpBitmap* source) {
        return octree_bitmaps::ConvertWith<PlainOctree>(source, QColorQuantizer::Octree, kColours);
    };
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    Samples fastConverts, plainConverts, fastConverts32, plainConverts32, fastPasses, plainPasses, freshBitmaps,
        copies;
    StageSamples stages;
    IndexedImage fast, plain, fast32, plain32, fastBare, plainBare;
    for (int round = 0; round < rounds; ++round) {
        TimeConvert(fastConverts, fastConvert, bitmap.Get(), fast);
        TimeConvert(fastConverts32, fastConvert, bitmap32.Get(), fast32);
        TimePasses<OctreeQuantizer>(fastPasses, image, indices, fastBare);
        TimeStages(stages, image, indices);
        TimeFreshBitmap(freshBitmaps, width, height);
        if (round % 3 == 0) {
            TimeConvert(plainConverts, plainConvert, bitmap.Get(), plain);
            TimeConvert(plainConverts32, plainConvert, bitmap32.Get(), plain32);
            TimePasses<PlainOctree>(plainPasses, image, indices, plainBare);
            TimeCopy(copies, bitmap32.Get(), width, height);
        }
    }

    const bool sameConvert = fast == plain && !fast.indices.empty();
    fastConverts.Print("Convert, 24-bit bitmap", megapixels);
    plainConverts.Print("plain octree, same GDI+ steps", megapixels);
    PrintRatio(fastConverts, plainConverts, "palettes and indices", sameConvert);
    std::printf("  %zu palette entries\n", fast.palette.size());
    const bool sameConvert32 = fast32 == fast && plain32 == plain;
    fastConverts32.Print("Convert, 32-bit bitmap", megapixels);
    plainConverts32.Print("plain octree, same GDI+ steps", megapixels);
    PrintRatio(fastConverts32, plainConverts32, "palettes and indices (and as from 24 bits)", sameConvert32);
    std::printf("  where Convert's time goes:\n");
    stages.firstPass.Print("  first pass (tree)", megapixels);
    stages.palette.Print("  palette", megapixels);
    stages.secondPass.Print("  second pass (indices)", megapixels);
    freshBitmaps.Print("  fresh 8-bit bitmap, filled once", megapixels);
    copies.Print("  24-bit copy of the 32-bit one", megapixels);
    const bool samePasses = fastBare == plainBare && fastBare == fast;
    fastPasses.Print("OctreeQuantizer passes, no GDI+", megapixels);
    plainPasses.Print("plain octree passes, no GDI+", megapixels);
    PrintRatio(fastPasses, plainPasses, "palettes and indices", samePasses);
    std::printf("\n");
    std::fflush(stdout);
    return sameConvert && sameConvert32 && samePasses;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const GdiplusSession gdiplus;
    if (!gdiplus.IsStarted()) {
        std::printf("GDI+ did not start\n");
        return 2;
    }
    bool same = Measure(3840, 2160, rounds);
    same = Measure(1920, 1080, rounds) && same;
    return same ? 0 : 1;
}
