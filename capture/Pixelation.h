// Pixelation that cannot be read back: each block of a rectangle becomes one
// colour, the rounded mean of its pixels plus a random offset of -16..16 per
// channel drawn from the system's cryptographic source, so matching
// candidate texts against the blocks finds no exact match.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/Marks.h"

// 32-bit pixels (0x00RRGGBB), top row first, width pixels per row.
struct PixelView {
    const DWORD* bits = nullptr;
    int width = 0;
    int height = 0;
};

// count offsets, each uniform over -16..16.
std::vector<int8_t> DrawPixelOffsets(size_t count);

// Blocks of blockSize x blockSize from rect's top-left corner; those at the
// right and bottom edges cover only what is left of rect.
int BlockColumns(const CRect& rect, int blockSize);
int BlockRows(const CRect& rect, int blockSize);

// The colour of each block, row by row: per channel the rounded mean of the
// pixels under it plus its offset (three per block), kept within 0..255.
// rect must lie within the image.
std::vector<COLORREF> PixelateBlocks(const PixelView& image, const CRect& rect, int blockSize,
                                     const std::vector<int8_t>& offsets);

// A pixelate mark over rect (clipped to the image), offsets drawn now.
Mark MakePixelateMark(const PixelView& image, const CRect& rect, int blockSize);

// The mark moved to rect while it is dragged. Blocks that were whole before
// and stay whole on the same grid (the top-left corner kept) keep their
// colour and offsets: a growing rectangle costs only its new blocks, and a
// block's offset is drawn once.
void RepixelateMark(Mark& mark, const PixelView& image, const CRect& rect);
