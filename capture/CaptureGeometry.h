// Arithmetic of the capture window that needs no window: the drag
// rectangle, the magnifier's zoom and the part of the image it shows, and the
// colour readout's text.
#pragma once

#include "framework/CString.h"
#include "framework/Geometry.h"

constexpr double kMinZoom = 1.0;
constexpr double kMaxZoom = 16.0;

// The drag rectangle after a move to pt (screen coordinates): the pixel under
// the pointer becomes the last one inside.
CRect DragAfterMove(const CRect& drag, POINT pt);
// A copy with left <= right and top <= bottom.
CRect NormalizedRect(const CRect& rc);

// The zoom after a wheel turn: whole notches of 120 only (a smaller delta
// changes nothing), kept within kMinZoom..kMaxZoom.
double ZoomAfterWheel(double zoom, int wheelDelta);

// Where the magnifier's picture comes from and where it lands. The view is
// w x h control pixels; each image pixel becomes a zoom x zoom square with
// the cursor's pixel in the middle.
struct MagnifierGeometry {
    CRect source;  // the w x h image rectangle the magnified copy starts at
    CRect shown;   // the image pixels that reach the view, clipped to the image
    CRect dest;    // where `shown` lands in the view, magnified (may reach past it)
};

// The source rectangle: (0, 0, w, h) moved to the cursor and back by half the
// view divided by the zoom, both divisions truncated toward zero.
CRect MagnifierSourceRect(POINT cursor, int w, int h, double zoom);
// The whole picture for a whole-number zoom over an image of imageW x
// imageH; `shown` is empty when the view lies entirely beyond the image.
MagnifierGeometry ComputeMagnifierGeometry(POINT cursor, int w, int h, double zoom, int imageW, int imageH);

// "#RRGGBB " for the colour readout.
CString FormatColorReadout(COLORREF color);
