// The one drawing of marks: the capture window's painting, the magnifier
// and the output's burn-in all call it, so what leaves is what was shown.
// Coordinates are the DC's logical ones, which are image coordinates.
#pragma once

#include <vector>

#include "capture/Marks.h"

// Draws one mark. Only what meets the DC's clip box costs time.
void DrawMark(HDC dc, const Mark& mark);
// Draws the marks in order, then `pending` (the one being drawn) if any.
void DrawMarks(HDC dc, const std::vector<Mark>& marks, const Mark* pending = nullptr);

// Black or white, whichever stands out more against color.
COLORREF ContrastingColor(COLORREF color);
// How much of the marker's colour covers what lies under it, of 255.
constexpr int kMarkerAlpha = 96;
