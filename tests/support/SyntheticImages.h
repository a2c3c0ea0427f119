// Pictures made up for the quantizer's tests and benchmark: a screen-like
// desktop and a few simpler patterns, all from fixed seeds, as 24-bit rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/OctreeQuantizer.h"

// A 24-bit picture in memory: rows of blue, green, red bytes, each row padded
// to four bytes as GDI+ pads it.
struct BgrImage {
    uint32_t width = 0;
    uint32_t height = 0;
    ptrdiff_t stride = 0;
    std::vector<uint8_t> bytes;

    BgrImage() = default;
    BgrImage(uint32_t w, uint32_t h);
    BgrRows Rows() const { return BgrRows{bytes.data(), stride, width, height}; }
    // rgb is 0x00RRGGBB
    void Set(uint32_t x, uint32_t y, uint32_t rgb);
    uint32_t Get(uint32_t x, uint32_t y) const;
};

// A repeatable stream of pseudo-random numbers.
class TestRandom {
public:
    explicit TestRandom(uint32_t seed) : m_state(seed) {}
    uint32_t Next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }

private:
    uint32_t m_state;
};

// A desktop at any size: gradient wallpaper, windows with title bars,
// shadows, anti-aliased and sub-pixel text, list rows, icons, a photo with
// grain in one window, and a taskbar.
BgrImage MakeDesktopImage(uint32_t width, uint32_t height);
// Every pixel drawn at random from the whole colour cube.
BgrImage MakeNoiseImage(uint32_t width, uint32_t height, uint32_t seed);
// Runs of random length in colours drawn from a random set of the given size.
BgrImage MakeRunsImage(uint32_t width, uint32_t height, uint32_t colours, uint32_t seed);
// A smooth two-dimensional gradient.
BgrImage MakeGradientImage(uint32_t width, uint32_t height);
// How many different 24-bit colours the picture holds.
size_t CountColours(const BgrImage& image);
