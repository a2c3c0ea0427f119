// The octree colour quantizer: palettes and indices worked out by hand, the
// quantizer held against the plain node-by-node octree on many pictures,
// the limits and failures of Convert on real GDI+ bitmaps, and colour sums
// past 32 bits.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "output/ColorQuantizer.h"
#include "output/OctreeQuantizer.h"
#include "tests/support/PlainOctree.h"
#include "tests/support/SyntheticImages.h"
#include "tests/support/TestBitmaps.h"

namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }
constexpr uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

BgrImage Picture(uint32_t width, uint32_t height, std::initializer_list<uint32_t> pixels)
{
    BgrImage image(width, height);
    auto it = pixels.begin();
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.Set(x, y, *it++);
    return image;
}

template <class Tree>
IndexedImage Quantize(const BgrImage& image, unsigned maxColors)
{
    Tree tree(maxColors);
    tree.AddPixels(image.Rows());
    EXPECT_LE(tree.PeakLeafCount(), maxColors + 1);
    return RunPasses(tree, image);
}

// Both octrees must give exactly this palette and these indices.
void ExpectQuantized(const BgrImage& image, unsigned maxColors, const std::vector<uint32_t>& palette,
                     const std::vector<uint8_t>& indices)
{
    const IndexedImage fast = Quantize<OctreeQuantizer>(image, maxColors);
    const IndexedImage plain = Quantize<PlainOctree>(image, maxColors);
    EXPECT_EQ(fast.palette, palette);
    EXPECT_EQ(fast.indices, indices);
    EXPECT_EQ(plain.palette, palette);
    EXPECT_EQ(plain.indices, indices);
}

// ---------------------------------------------------------------- by hand

TEST(QuantizerExactTest, FewerColoursThanTheLimitKeepEachColourInTreeOrder)
{
    // Blue, green and red take root children 1, 2 and 4. The two reds differ
    // only in bit 0 of each channel: one leaf, whose average truncates
    // (255 + 254) / 2 to 254. Width 3 leaves padding at the end of each row.
    const BgrImage image = Picture(3, 2,
                                   {Rgb(255, 0, 0), Rgb(0, 0, 255), Rgb(0, 255, 0),  //
                                    Rgb(254, 1, 1), Rgb(0, 255, 0), Rgb(0, 0, 255)});
    ExpectQuantized(image, 256, {Opaque(Rgb(0, 0, 255)), Opaque(Rgb(0, 255, 0)), Opaque(Rgb(254, 0, 0))},
                    {2, 0, 1, 2, 1, 0});
}

TEST(QuantizerExactTest, OneColourGivesOneEntryAndIndexZero)
{
    BgrImage image(5, 3);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            image.Set(x, y, Rgb(12, 34, 56));
    ExpectQuantized(image, 8, {Opaque(Rgb(12, 34, 56))}, std::vector<uint8_t>(15, 0));
}

TEST(QuantizerExactTest, ChannelsDifferingInBitZeroShareAnEntryAndBitOneSplits)
{
    // 0x10 and 0x11 in red share a leaf: (3 * 0x10 + 2 * 0x11) / 5 = 0x10.
    // 0x12 differs in bit 1: child 4 of the level-1 node, after the shared
    // leaf's child 0.
    const BgrImage image = Picture(6, 1,
                                   {Rgb(0x10, 0x80, 0x20), Rgb(0x11, 0x80, 0x20), Rgb(0x12, 0x80, 0x20),
                                    Rgb(0x10, 0x80, 0x20), Rgb(0x11, 0x80, 0x20), Rgb(0x10, 0x80, 0x20)});
    ExpectQuantized(image, 256, {Opaque(Rgb(0x10, 0x80, 0x20)), Opaque(Rgb(0x12, 0x80, 0x20))}, {0, 0, 1, 0, 0, 0});
}

// Nine leaves under three level-1 nodes that share one level-2 node:
//   A (blue bit 2 clear, green bit 2 clear): (0,0,0) and (0,0,2)
//   B (blue bit 2 set): (0,0,4) and (0,0,6)
//   C (green bit 2 set): five leaves
// With 8 colours the ninth leaf merges the front level-1 node. A and B both
// hold two pixels then; the one that reached two first is merged.
constexpr uint32_t kA1 = Rgb(0, 0, 0), kA2 = Rgb(0, 0, 2), kB1 = Rgb(0, 0, 4), kB2 = Rgb(0, 0, 6);
constexpr uint32_t kC[5] = {Rgb(0, 4, 0), Rgb(0, 4, 2), Rgb(0, 6, 0), Rgb(0, 6, 2), Rgb(2, 4, 0)};
const std::vector<uint32_t> kCEntries = {Opaque(kC[0]), Opaque(kC[1]), Opaque(kC[2]), Opaque(kC[3]), Opaque(kC[4])};

TEST(QuantizerExactTest, TieOfEqualCountsMergesTheNodeThatReachedTheCountFirst)
{
    // A reaches two pixels at the third pixel, B at the fourth: A is merged
    // into one entry, the average (0, 0, 1).
    const BgrImage aFirst = Picture(3, 3, {kA1, kB1, kA2, kB2, kC[0], kC[1], kC[2], kC[3], kC[4]});
    std::vector<uint32_t> palette = {Opaque(Rgb(0, 0, 1)), Opaque(kB1), Opaque(kB2)};
    palette.insert(palette.end(), kCEntries.begin(), kCEntries.end());
    ExpectQuantized(aFirst, 8, palette, {0, 1, 0, 2, 3, 4, 5, 6, 7});

    // Same pixels, B's second before A's: B reaches two first although A
    // was made first, so B becomes the entry (0, 0, 5).
    const BgrImage bFirst = Picture(3, 3, {kA1, kB1, kB2, kA2, kC[0], kC[1], kC[2], kC[3], kC[4]});
    palette = {Opaque(kA1), Opaque(kA2), Opaque(Rgb(0, 0, 5))};
    palette.insert(palette.end(), kCEntries.begin(), kCEntries.end());
    ExpectQuantized(bFirst, 8, palette, {0, 2, 2, 1, 3, 4, 5, 6, 7});
}

TEST(QuantizerExactTest, FewerPixelsMergeBeforeEarlierArrival)
{
    // A gets a third pixel before the ninth leaf: now B (two pixels) is in
    // front of A (three), whatever the order they were made in.
    const BgrImage image = Picture(10, 1, {kA1, kB1, kA2, kB2, kA1, kC[0], kC[1], kC[2], kC[3], kC[4]});
    std::vector<uint32_t> palette = {Opaque(kA1), Opaque(kA2), Opaque(Rgb(0, 0, 5))};
    palette.insert(palette.end(), kCEntries.begin(), kCEntries.end());
    ExpectQuantized(image, 8, palette, {0, 2, 1, 2, 0, 3, 4, 5, 6, 7});
}

TEST(QuantizerExactTest, EightColoursMergeUpToTheRootsChildren)
{
    // Two colours in each octant, differing in bit 6 of every channel: the
    // ninth leaf merges single-child nodes level by level up to level 6,
    // where the octant with two pixels goes last. Every octant ends as one
    // leaf below the root, the average of its colours, whatever comes after.
    std::vector<uint32_t> pixels;
    for (uint32_t pass = 0; pass < 3; ++pass)
        for (uint32_t octant = 0; octant < 8; ++octant) {
            const uint32_t sub = pass == 1 ? 0x40 : 0;
            pixels.push_back(Rgb((octant >> 2) * 0x80 + sub, ((octant >> 1) & 1) * 0x80 + sub, (octant & 1) * 0x80 + sub));
        }
    BgrImage image(8, 3);
    for (uint32_t i = 0; i < pixels.size(); ++i)
        image.Set(i % 8, i / 8, pixels[i]);

    // Each octant holds two pixels without bit 6 and one with it.
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    for (uint32_t octant = 0; octant < 8; ++octant) {
        const uint32_t r = (octant >> 2) * 0x80 + 0x40 / 3;
        const uint32_t g = ((octant >> 1) & 1) * 0x80 + 0x40 / 3;
        const uint32_t b = (octant & 1) * 0x80 + 0x40 / 3;
        palette.push_back(Opaque(Rgb(r, g, b)));
    }
    for (uint32_t i = 0; i < pixels.size(); ++i)
        indices.push_back(static_cast<uint8_t>(i % 8));
    ExpectQuantized(image, 8, palette, indices);
}

// ----------------------------------------------- against the plain octree

void ExpectSameAsPlain(const BgrImage& image, unsigned maxColors)
{
    const IndexedImage fast = Quantize<OctreeQuantizer>(image, maxColors);
    const IndexedImage plain = Quantize<PlainOctree>(image, maxColors);
    ASSERT_EQ(fast.palette, plain.palette) << "maxColors " << maxColors;
    ASSERT_EQ(fast.indices, plain.indices) << "maxColors " << maxColors;
    EXPECT_LE(fast.palette.size(), maxColors);
}

TEST(QuantizerAgreementTest, NoiseAtEveryLimitFrom8To256)
{
    const BgrImage image = MakeNoiseImage(61, 47, 3);
    for (unsigned maxColors = 8; maxColors <= 256; ++maxColors)
        ExpectSameAsPlain(image, maxColors);
}

TEST(QuantizerAgreementTest, NoiseRunsAndGradients)
{
    const BgrImage noise = MakeNoiseImage(300, 211, 11);
    const BgrImage fewColours = MakeRunsImage(257, 190, 40, 5);
    const BgrImage manyColours = MakeRunsImage(400, 300, 3000, 6);
    const BgrImage gradient = MakeGradientImage(333, 257);
    for (const unsigned maxColors : {8u, 9u, 16u, 100u, 255u, 256u}) {
        ExpectSameAsPlain(noise, maxColors);
        ExpectSameAsPlain(fewColours, maxColors);
        ExpectSameAsPlain(manyColours, maxColors);
        ExpectSameAsPlain(gradient, maxColors);
    }
}

TEST(QuantizerAgreementTest, EqualCountsEverywhere)
{
    // Every colour exactly twice, scattered, and crowded into the few
    // branches below 32 in each channel: the merges stay at the lowest
    // levels, where most are decided by who reached a count first.
    TestRandom random(77);
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 3000; ++i) {
        const uint32_t c = random.Next() & 0x1F1F1Fu;
        colours.push_back(c);
        colours.push_back(c);
    }
    for (size_t i = colours.size() - 1; i > 0; --i)
        std::swap(colours[i], colours[random.Below(static_cast<uint32_t>(i + 1))]);
    BgrImage image(100, 60);
    for (uint32_t i = 0; i < 6000; ++i)
        image.Set(i % 100, i / 100, colours[i]);
    for (const unsigned maxColors : {8u, 100u, 128u, 200u, 256u})
        ExpectSameAsPlain(image, maxColors);
}

TEST(QuantizerAgreementTest, DesktopPictures)
{
    for (const auto& size : {std::pair{640u, 400u}, std::pair{1024u, 600u}}) {
        const BgrImage image = MakeDesktopImage(size.first, size.second);
        ASSERT_GT(CountColours(image), 256u);
        for (const unsigned maxColors : {8u, 64u, 256u})
            ExpectSameAsPlain(image, maxColors);
    }
}

TEST(QuantizerAgreementTest, PixelsFedInPiecesCountAsOneStream)
{
    const BgrImage image = MakeDesktopImage(320, 200);
    OctreeQuantizer whole(64);
    whole.AddPixels(image.Rows());
    OctreeQuantizer pieces(64);
    BgrRows top = image.Rows();
    top.height = 77;
    BgrRows rest = image.Rows();
    rest.scan0 += 77 * rest.stride;
    rest.height -= 77;
    pieces.AddPixels(top);
    pieces.AddPixels(rest);
    EXPECT_EQ(RunPasses(whole, image), RunPasses(pieces, image));
}

// The picture as 32-bit rows whose fourth byte is noise.
std::vector<uint8_t> ThirtyTwoBitRows(const BgrImage& image)
{
    TestRandom random(99);
    std::vector<uint8_t> rows(static_cast<size_t>(image.width) * image.height * 4);
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t rgb = image.Get(x, y);
            uint8_t* p = &rows[(static_cast<size_t>(y) * image.width + x) * 4];
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
            p[3] = static_cast<uint8_t>(random.Next());
        }
    return rows;
}

TEST(QuantizerAgreementTest, WideRowsAndThirtyTwoBitRows)
{
    // Rows of 4500 pixels, with runs across every 2048th pixel; noise has so
    // many runs that the later rows are looked at twice, not kept.
    const BgrImage wide = MakeRunsImage(4500, 24, 600, 9);
    const BgrImage wideNoise = MakeNoiseImage(4500, 10, 12);
    const BgrImage desktop = MakeDesktopImage(700, 300);
    for (const BgrImage* image : {&wide, &wideNoise, &desktop}) {
        const std::vector<uint8_t> rows32 = ThirtyTwoBitRows(*image);
        const BgrRows pixels32{rows32.data(), static_cast<ptrdiff_t>(image->width) * 4, image->width,
                               image->height, 4};
        for (const unsigned maxColors : {8u, 256u}) {
            ExpectSameAsPlain(*image, maxColors);
            OctreeQuantizer tree(maxColors);
            tree.AddPixels(pixels32);
            IndexedImage fromThirtyTwo;
            uint32_t entries[256];
            fromThirtyTwo.palette.assign(entries, entries + tree.BuildPalette(entries));
            fromThirtyTwo.indices.resize(static_cast<size_t>(image->width) * image->height);
            tree.MapPixels(pixels32, IndexRows{fromThirtyTwo.indices.data(), static_cast<ptrdiff_t>(image->width)});
            EXPECT_EQ(fromThirtyTwo, Quantize<PlainOctree>(*image, maxColors)) << image->width;
        }
    }
}

TEST(QuantizerAgreementTest, TreeNeverHoldsMoreThanOneLeafOverTheLimit)
{
    const BgrImage image = MakeNoiseImage(200, 200, 8);
    for (const unsigned maxColors : {8u, 256u}) {
        OctreeQuantizer tree(maxColors);
        tree.AddPixels(image.Rows());
        EXPECT_EQ(tree.PeakLeafCount(), maxColors + 1);
        EXPECT_LE(tree.LeafCount(), maxColors);
        // the root, and at most six inner nodes above each leaf
        EXPECT_LE(tree.PeakNodeCount(), 1 + 7 * (maxColors + 1));
    }
}

// ----------------------------------------------------- colour sums > 32 bits

TEST(QuantizerOverflowTest, OneColourOverSixteenMillionPixelsKeepsItsColour)
{
    // 17.8 million pixels of one bright colour: 255 times that is past 2^32.
    constexpr uint32_t kWidth = 1u << 20;
    BgrImage row(kWidth, 1);
    for (uint32_t x = 0; x < kWidth; ++x)
        row.Set(x, 0, Rgb(255, 254, 253));
    OctreeQuantizer tree(256);
    for (int i = 0; i < 17; ++i)
        tree.AddPixels(row.Rows());
    uint32_t palette[256];
    ASSERT_EQ(tree.BuildPalette(palette), 1u);
    EXPECT_EQ(palette[0], Opaque(Rgb(255, 254, 253)));
}

TEST(QuantizerOverflowTest, AlternatingBrightColoursPastThirtyTwoBits)
{
    // No two neighbours alike, so every pixel is added on its own; each
    // colour ends with 17.3 million pixels.
    constexpr uint32_t kWidth = 1u << 20;
    BgrImage row(kWidth, 1);
    for (uint32_t x = 0; x < kWidth; ++x)
        row.Set(x, 0, x % 2 ? Rgb(250, 240, 230) : Rgb(255, 255, 255));
    OctreeQuantizer tree(8);
    for (int i = 0; i < 33; ++i)
        tree.AddPixels(row.Rows());
    uint32_t palette[8];
    ASSERT_EQ(tree.BuildPalette(palette), 2u);
    // they part at the level-4 node (blue bit 4): (250, 240, 230) is child 6, white child 7
    EXPECT_EQ(palette[0], Opaque(Rgb(250, 240, 230)));
    EXPECT_EQ(palette[1], Opaque(Rgb(255, 255, 255)));
    EXPECT_EQ(tree.FindPaletteIndex(Rgb(255, 255, 255)), 1u);
    EXPECT_EQ(tree.FindPaletteIndex(Rgb(250, 240, 230)), 0u);
}

// ----------------------------------------------------- Convert on bitmaps

class QuantizerBitmapTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_gdiplus.IsStarted()); }

    static Gdiplus::PixelFormat FormatOf(Gdiplus::GpBitmap* bitmap)
    {
        Gdiplus::PixelFormat format = 0;
        Gdiplus::DllExports::GdipGetImagePixelFormat(bitmap, &format);
        return format;
    }

    GdiplusSession m_gdiplus;
};

TEST_F(QuantizerBitmapTest, LimitsOfColoursAndMethod)
{
    const BgrImage image = MakeDesktopImage(64, 48);
    const TestImage source(MakeBitmap(image, PixelFormat24bppRGB));
    ASSERT_NE(source.Get(), nullptr);
    QColorQuantizer quantizer;
    for (const unsigned maxColors : {0u, 7u, 257u, 1000u}) {
        const TestImage result(quantizer.Convert(source.Get(), QColorQuantizer::Octree, maxColors));
        EXPECT_EQ(result.Get(), nullptr) << maxColors;
    }
    for (const int method : {0, 2, -1}) {
        const TestImage result(quantizer.Convert(source.Get(), method, 256));
        EXPECT_EQ(result.Get(), nullptr) << method;
    }
    EXPECT_EQ(quantizer.Convert(nullptr, QColorQuantizer::Octree, 256), nullptr);
    for (const unsigned maxColors : {8u, 256u}) {
        const TestImage result(quantizer.Convert(source.Get(), QColorQuantizer::Octree, maxColors));
        ASSERT_NE(result.Get(), nullptr) << maxColors;
        EXPECT_EQ(FormatOf(result.Get()), PixelFormat8bppIndexed);
        EXPECT_EQ(ReadIndexed(result.Get()), Quantize<PlainOctree>(image, maxColors));
    }
}

TEST_F(QuantizerBitmapTest, OneQuantizerRunsConversionsOneAfterAnother)
{
    const BgrImage first = MakeDesktopImage(200, 120);
    const BgrImage second = MakeNoiseImage(131, 77, 4);
    const TestImage firstSource(MakeBitmap(first, PixelFormat24bppRGB));
    const TestImage secondSource(MakeBitmap(second, PixelFormat24bppRGB));
    QColorQuantizer quantizer;
    for (int round = 0; round < 2; ++round) {
        const TestImage a(quantizer.Convert(firstSource.Get(), QColorQuantizer::Octree, 256));
        const TestImage b(quantizer.Convert(secondSource.Get(), QColorQuantizer::Octree, 16));
        ASSERT_NE(a.Get(), nullptr);
        ASSERT_NE(b.Get(), nullptr);
        EXPECT_EQ(ReadIndexed(a.Get()), Quantize<PlainOctree>(first, 256));
        EXPECT_EQ(ReadIndexed(b.Get()), Quantize<PlainOctree>(second, 16));
    }
}

TEST_F(QuantizerBitmapTest, PaletteBlockCarriesTheAlphaFlagAndItsCount)
{
    const BgrImage image = Picture(3, 1, {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)});
    const TestImage source(MakeBitmap(image, PixelFormat24bppRGB));
    const TestImage result(QColorQuantizer().Convert(source.Get(), QColorQuantizer::Octree, 256));
    ASSERT_NE(result.Get(), nullptr);
    INT size = 0;
    ASSERT_EQ(Gdiplus::DllExports::GdipGetImagePaletteSize(result.Get(), &size), Gdiplus::Ok);
    std::vector<uint8_t> block(static_cast<size_t>(size));
    auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(block.data());
    ASSERT_EQ(Gdiplus::DllExports::GdipGetImagePalette(result.Get(), palette, size), Gdiplus::Ok);
    EXPECT_EQ(palette->Flags, static_cast<UINT>(Gdiplus::PaletteFlagsHasAlpha));
    ASSERT_EQ(palette->Count, 3u);
    EXPECT_EQ(palette->Entries[0], Opaque(Rgb(0, 0, 255)));
    EXPECT_EQ(palette->Entries[2], Opaque(Rgb(255, 0, 0)));
}

uint8_t NoiseByte(uint32_t x, uint32_t y) { return static_cast<uint8_t>((x * 37 + y * 101) ^ (x >> 3)); }

// Alpha 255 but for a band of translucent pixels in every other row.
uint8_t SomeTranslucent(uint32_t x, uint32_t y) { return y % 2 == 0 && x % 50 < 20 ? static_cast<uint8_t>(x * 5) : 255; }

TEST_F(QuantizerBitmapTest, OpaqueThirtyTwoBitSourcesGiveWhatTheirColoursGive)
{
    // Opaque 32-bit pixels drawn onto 24 bits keep their colour exactly; the
    // fourth byte of 32bppRGB means nothing, whatever it holds.
    const BgrImage image = MakeDesktopImage(320, 200);
    const IndexedImage expected = Quantize<PlainOctree>(image, 256);
    const std::pair<Gdiplus::PixelFormat, uint8_t (*)(uint32_t, uint32_t)> sources[] = {
        {PixelFormat32bppRGB, nullptr},
        {PixelFormat32bppRGB, NoiseByte},
        {PixelFormat32bppARGB, nullptr},
        {PixelFormat32bppPARGB, nullptr}};
    for (const auto& [format, fourthByte] : sources) {
        const TestImage source(MakeBitmap(image, format, fourthByte));
        ASSERT_NE(source.Get(), nullptr);
        const TestImage result(QColorQuantizer().Convert(source.Get(), QColorQuantizer::Octree, 256));
        ASSERT_NE(result.Get(), nullptr);
        EXPECT_EQ(ReadIndexed(result.Get()), expected) << format;
    }
}

// What drawing image onto a new 24-bit bitmap of its size with default
// settings gives, read back.
BgrImage DrawnOntoTwentyFourBits(Gdiplus::GpBitmap* image, uint32_t width, uint32_t height)
{
    using namespace Gdiplus;
    GpBitmap* made = nullptr;
    EXPECT_EQ(DllExports::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                                    PixelFormat24bppRGB, nullptr, &made),
              Ok);
    const TestImage copy(made);
    GpGraphics* graphics = nullptr;
    EXPECT_EQ(DllExports::GdipGetImageGraphicsContext(made, &graphics), Ok);
    EXPECT_EQ(DllExports::GdipDrawImageRectI(graphics, image, 0, 0, static_cast<INT>(width), static_cast<INT>(height)),
              Ok);
    DllExports::GdipDeleteGraphics(graphics);
    return ReadPixels(made);
}

TEST_F(QuantizerBitmapTest, TranslucentSourcesAreTakenAsDrawnOntoTwentyFourBits)
{
    const BgrImage image = MakeDesktopImage(300, 160);
    const TestImage source(MakeBitmap(image, PixelFormat32bppARGB, SomeTranslucent));
    ASSERT_NE(source.Get(), nullptr);
    const BgrImage drawn = DrawnOntoTwentyFourBits(source.Get(), 300, 160);
    ASSERT_NE(drawn.bytes, image.bytes);  // the translucent pixels were blended
    const TestImage result(QColorQuantizer().Convert(source.Get(), QColorQuantizer::Octree, 256));
    ASSERT_NE(result.Get(), nullptr);
    EXPECT_EQ(ReadIndexed(result.Get()), Quantize<PlainOctree>(drawn, 256));
}

TEST_F(QuantizerBitmapTest, CallersImageIsUntouchedAndUnlocked)
{
    const BgrImage image = MakeDesktopImage(150, 90);
    for (const Gdiplus::PixelFormat format : {PixelFormat24bppRGB, PixelFormat32bppARGB}) {
        const TestImage source(MakeBitmap(image, format));
        const BgrImage before = ReadPixels(source.Get());
        const TestImage result(QColorQuantizer().Convert(source.Get(), QColorQuantizer::Octree, 64));
        ASSERT_NE(result.Get(), nullptr);
        EXPECT_EQ(FormatOf(source.Get()), format);
        EXPECT_EQ(ReadPixels(source.Get()).bytes, before.bytes);
        EXPECT_EQ(before.bytes, image.bytes);
        // no lock left behind: the caller can still write to it
        const Gdiplus::GpRect all(0, 0, 150, 90);
        Gdiplus::BitmapData data{};
        ASSERT_EQ(Gdiplus::DllExports::GdipBitmapLockBits(source.Get(), &all, Gdiplus::ImageLockModeWrite, format, &data),
                  Gdiplus::Ok);
        Gdiplus::DllExports::GdipBitmapUnlockBits(source.Get(), &data);
    }
}

// Private memory in use (Wine reports the resident part here; its
// PrivateUsage reads 0).
SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

TEST_F(QuantizerBitmapTest, TwentyFourBitCopiesAreReleased)
{
    // Each conversion of this translucent picture makes a 5.8 MB copy (and
    // the 1.9 MB result, released here): thirty kept copies would be 170 MB.
    const BgrImage image = MakeGradientImage(1600, 1200);
    const TestImage source(MakeBitmap(image, PixelFormat32bppARGB, SomeTranslucent));
    ASSERT_NE(source.Get(), nullptr);
    QColorQuantizer quantizer;
    for (int i = 0; i < 3; ++i)
        TestImage(quantizer.Convert(source.Get(), QColorQuantizer::Octree, 256));
    const SIZE_T before = PrivateBytes();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 30; ++i) {
        const TestImage result(quantizer.Convert(source.Get(), QColorQuantizer::Octree, 256));
        ASSERT_NE(result.Get(), nullptr);
    }
    EXPECT_LT(PrivateBytes(), before + 40u * 1024 * 1024);
}

}  // namespace
