// The marks a user draws over the frozen screen in one capture: arrows,
// rectangles, pen and marker strokes, texts, step numbers, pixelated and
// redacted rectangles. Marks are kept in image coordinates (pixels of the
// screen image), in drawing order, with undo and redo of whole marks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Geometry.h"

enum class MarkTool { None, Arrow, Rectangle, Pen, Marker, Text, Step, Pixelate, Redact };

struct Mark {
    MarkTool tool = MarkTool::None;
    COLORREF color = RGB(255, 0, 0);
    int width = 4;               // stroke width in image pixels, DPI applied
    std::vector<POINT> points;   // arrow: tail, head; pen and marker: the path; text and step: the click
    CRect rect;                  // rectangle, pixelate, redact: pixels covered, both end pixels included
    std::wstring text;           // text
    int step = 0;                // step: its number
    int size = 0;                // step: circle diameter; text: font height; pixelate: block side
    std::vector<int8_t> offsets; // pixelate: per block, red, green and blue, each -16..16
    std::vector<COLORREF> blocks;  // pixelate: the colour of each block, row by row
};

// The ordered list of one capture with its undo and redo stacks. A new mark
// ends every redo.
class MarkList {
public:
    const std::vector<Mark>& Marks() const { return m_marks; }
    bool Empty() const { return m_marks.empty(); }
    void Add(Mark mark);
    bool CanUndo() const { return !m_marks.empty(); }
    bool CanRedo() const { return !m_undone.empty(); }
    bool Undo();
    bool Redo();
    void Clear();
    // The number the next step mark shows: one more than the highest on the
    // list, so an undone number is given out again.
    int NextStepNumber() const;

private:
    std::vector<Mark> m_marks;
    std::vector<Mark> m_undone;
};

// The filled head of an arrow that ends at `head`: its tip, its two back
// corners, and where the shaft meets it. At least four stroke widths long
// and wide.
struct ArrowHead {
    POINT tip;
    POINT left;
    POINT right;
    POINT base;
};
ArrowHead ComputeArrowHead(POINT tail, POINT head, int strokeWidth);

// Sizes at the screen's DPI: the stroke widths 2, 4 and 8, the step circle
// (28 pixels at 96 DPI), the pixelation block (10 at 96 DPI), the text.
int ScaleForDpi(int pixelsAt96, int dpi);
int StepDiameter(int dpi);
int PixelBlockSize(int dpi);
int TextHeight(int strokeWidth);

// The rectangle a whole mark can touch, for repainting.
CRect MarkBounds(const Mark& mark);
