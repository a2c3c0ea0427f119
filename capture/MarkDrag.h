// A mark as the mouse makes it: begun at the press, grown by every move
// (with the rectangle to repaint, so a move costs what it changes), kept or
// dropped at the release.
#pragma once

#include "capture/Marks.h"
#include "capture/Pixelation.h"

struct MarkStyle {
    COLORREF color = RGB(255, 0, 0);
    int width = 4;  // at 96 DPI: 2, 4 or 8
    int dpi = 96;
};

// What one capture knows about marks: the list, the pressed tool (None: a
// drag selects the area) and the chosen colour and width.
struct MarkSession {
    MarkList list;
    MarkTool tool = MarkTool::None;
    MarkStyle style;
};

// The mark a press at pt starts (image coordinates). A step mark is finished
// at once; stepNumber is the number it shows.
Mark BeginMark(MarkTool tool, const MarkStyle& style, POINT pt, int stepNumber);
// Moves the mark's end to pt and returns the rectangle that changed. A
// pixelation is worked out afresh from source (the image with the earlier
// marks), so it shows live.
CRect ContinueMark(Mark& mark, POINT pt, const PixelView& source);
// False for what a bare click leaves of a drag-made mark: nothing to keep.
bool IsMarkWorthKeeping(const Mark& mark);
// True for the tools that are dragged (all but text and step).
bool IsDragTool(MarkTool tool);
