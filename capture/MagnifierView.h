// The magnified view around the pointer that the capture window draws into
// the options dialog, and the red highlight outline it shares with the
// capture window's painting.
#pragma once

#include <vector>

#include "capture/Marks.h"
#include "framework/Gdi.h"

// What the magnifier shows: the screen image with the pointer's pixel marked
// in black, the capture area inverted, the highlight outlined and the
// marks drawn.
struct MagnifierScene {
    HBITMAP image = nullptr;  // not selected into any DC
    POINT cursor{0, 0};       // image coordinates
    double zoom = 2.0;        // a whole number from 1 to 16
    CRect area;               // empty: nothing inverted
    CRect highlight;          // empty: no outline
    const std::vector<Mark>* marks = nullptr;  // drawn over the rest, in order
    const Mark* pending = nullptr;             // the mark being drawn
};

// Fills (0, 0, w, h) of target with the red diagonal hatch and draws the
// magnified scene over it, through an off-screen context so the control does
// not flicker. Only the image pixels that reach the view are copied, so the
// cost does not grow with the screen.
void DrawMagnifierView(CDC& target, int w, int h, const MagnifierScene& scene);

// The pointer's mark: a 3 x 3 black square at zoom 1 (one pixel would vanish
// among its neighbours), one black pixel at any larger zoom.
void MarkCursor(HDC dc, POINT cursor, double zoom);

// A red outline two pixels wide along the inside of rc, slightly rounded at
// the outer corners; the inside stays as it was.
void DrawHighlightOutline(HDC dc, const RECT& rc);
