// Arithmetic of the output image's size and placement, apart from any
// drawing: which part of the screen image an area covers and how large a
// scaled image becomes.
#pragma once

#include "framework/Geometry.h"

// The area the output takes: area itself, or when area is empty the primary
// monitor's rectangle, wherever it lies in the image (both in image
// coordinates).
CRect EffectiveArea(const CRect& area, const CRect& primaryMonitor);

// The part of area that lies inside a screen image of imageSize (origin at
// 0, 0); empty when they do not meet. The rest of the area has no screen
// content.
CRect CoveredPart(const CRect& area, SIZE imageSize);

// The factor that brings an image shown at dpi to the standard 96 DPI; 1
// for a dpi that is not positive.
double StandardDpiFactor(int dpi);

// length times factor, truncated toward zero, but at least one pixel and at
// most what a GDI+ bitmap can be asked for.
UINT ScaledLength(UINT length, double factor);
