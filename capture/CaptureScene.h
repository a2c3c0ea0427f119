// What the capture window shows, as one drawing into any DC: the frozen
// image, the area inverted, the highlight, then the marks in their own
// colours (inside the inverted area too). Only the dirty rectangle is
// drawn, so a mouse move costs what it changed.
#pragma once

#include <vector>

#include "capture/Marks.h"
#include "framework/Gdi.h"

struct CaptureScene {
    HDC image = nullptr;                      // a memory DC holding the screen image
    CRect area;                               // empty: nothing inverted
    CRect highlight;                          // empty: no outline
    const std::vector<Mark>* marks = nullptr;
    const Mark* pending = nullptr;            // the mark being drawn or typed
};

// Draws the scene's dirty part into dc; dc's coordinates are image
// coordinates.
void PaintCaptureScene(HDC dc, const CaptureScene& scene, const CRect& dirty);

// The image with the marks drawn on it, as 32-bit pixels: what a new
// pixelation averages. Empty when the memory cannot be had.
struct ComposedPixels {
    std::vector<DWORD> bits;
    int width = 0;
    int height = 0;
};
ComposedPixels ComposeImagePixels(HDC image, SIZE size, const std::vector<Mark>& marks);
