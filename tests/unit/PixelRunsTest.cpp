// Finding runs of identical pixels in a row, held against a pixel-by-pixel
// walk: rows of every short width, rows long enough to be taken in several
// spans, changes on every side of the sixteen-pixel steps, and 32-bit pixels
// whose fourth byte changes where the colour does not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "output/PixelRuns.h"
#include "tests/support/SyntheticImages.h"

namespace {

using Run = std::tuple<uint32_t, uint32_t, uint32_t>;  // colour, first pixel, length

// A row of pixels with PixelBytes bytes each; in 32-bit rows the fourth
// byte is noise, which must not split a run.
template <unsigned PixelBytes>
std::vector<uint8_t> MakeRow(const std::vector<uint32_t>& colours, TestRandom& random)
{
    std::vector<uint8_t> row(colours.size() * PixelBytes);
    for (size_t x = 0; x < colours.size(); ++x) {
        row[x * PixelBytes] = static_cast<uint8_t>(colours[x]);
        row[x * PixelBytes + 1] = static_cast<uint8_t>(colours[x] >> 8);
        row[x * PixelBytes + 2] = static_cast<uint8_t>(colours[x] >> 16);
        if (PixelBytes == 4)
            row[x * PixelBytes + 3] = static_cast<uint8_t>(random.Next());
    }
    return row;
}

std::vector<Run> RunsByHand(const std::vector<uint32_t>& colours)
{
    std::vector<Run> runs;
    for (uint32_t x = 0; x < colours.size();) {
        uint32_t end = x + 1;
        while (end < colours.size() && colours[end] == colours[x])
            ++end;
        runs.emplace_back(colours[x], x, end - x);
        x = end;
    }
    return runs;
}

template <unsigned PixelBytes>
std::vector<Run> RunsFound(const std::vector<uint32_t>& colours, TestRandom& random)
{
    const std::vector<uint8_t> row = MakeRow<PixelBytes>(colours, random);
    std::vector<Run> runs;
    pixel_runs::ForEachRun<PixelBytes>(row.data(), static_cast<uint32_t>(colours.size()),
                                       [&runs](uint32_t rgb, uint32_t x, uint32_t length) {
                                           runs.emplace_back(rgb, x, length);
                                       });
    return runs;
}

void ExpectRunsOf(const std::vector<uint32_t>& colours, TestRandom& random)
{
    const std::vector<Run> expected = RunsByHand(colours);
    EXPECT_EQ(RunsFound<3>(colours, random), expected) << "24-bit, width " << colours.size();
    EXPECT_EQ(RunsFound<4>(colours, random), expected) << "32-bit, width " << colours.size();
}

// Colours from a small set, so neighbours are often equal, with runs of
// random length up to maxRun; colours differ in a single byte or bit too.
std::vector<uint32_t> RandomRow(uint32_t width, uint32_t maxRun, TestRandom& random)
{
    const uint32_t palette[] = {0x000000, 0x000001, 0x000100, 0x010000, 0xFFFFFF, 0x7F7F7F, 0x808080, 0xFEFFFF};
    std::vector<uint32_t> colours;
    while (colours.size() < width) {
        const uint32_t colour = palette[random.Below(8)];
        for (uint32_t n = 1 + random.Below(maxRun); n > 0 && colours.size() < width; --n)
            colours.push_back(colour);
    }
    return colours;
}

TEST(PixelRunsTest, EveryShortWidth)
{
    TestRandom random(5);
    for (uint32_t width = 1; width <= 70; ++width) {
        for (const uint32_t maxRun : {1u, 3u, 20u}) {
            for (int trial = 0; trial < 4; ++trial)
                ExpectRunsOf(RandomRow(width, maxRun, random), random);
        }
    }
    ExpectRunsOf(std::vector<uint32_t>(70, 0x123456), random);
}

TEST(PixelRunsTest, RowsTakenInSeveralSpans)
{
    TestRandom random(6);
    const uint32_t span = pixel_runs::kSpan;
    for (const uint32_t width : {span, span + 1, span + 2, span + 17, 2 * span + 1, 3 * span + 5, 9000u}) {
        for (const uint32_t maxRun : {1u, 5u, 300u, 5000u})
            ExpectRunsOf(RandomRow(width, maxRun, random), random);
        ExpectRunsOf(std::vector<uint32_t>(width, 0xABCDEF), random);
    }
    // a change right at each edge of a span, and a run across it
    for (const uint32_t edge : {span - 1, span, span + 1, span + 2}) {
        std::vector<uint32_t> colours(2 * span + 40, 0x202020);
        colours[edge] = 0x303030;
        ExpectRunsOf(colours, random);
        std::fill(colours.begin() + edge, colours.end(), 0x404040);
        ExpectRunsOf(colours, random);
    }
}

TEST(PixelRunsTest, EveryPixelItsOwnRun)
{
    TestRandom random(7);
    std::vector<uint32_t> colours;
    for (uint32_t x = 0; x < 5000; ++x)
        colours.push_back(x % 2 ? 0x010101 : 0x000000);
    ExpectRunsOf(colours, random);
}

}  // namespace
