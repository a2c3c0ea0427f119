#include "capture/Marks.h"

#include <algorithm>
#include <cmath>

void MarkList::Add(Mark mark)
{
    m_marks.push_back(std::move(mark));
    m_undone.clear();
}

bool MarkList::Undo()
{
    if (m_marks.empty())
        return false;
    m_undone.push_back(std::move(m_marks.back()));
    m_marks.pop_back();
    return true;
}

bool MarkList::Redo()
{
    if (m_undone.empty())
        return false;
    m_marks.push_back(std::move(m_undone.back()));
    m_undone.pop_back();
    return true;
}

void MarkList::Clear()
{
    m_marks.clear();
    m_undone.clear();
}

int MarkList::NextStepNumber() const
{
    int highest = 0;
    for (const Mark& mark : m_marks)
        if (mark.tool == MarkTool::Step)
            highest = std::max(highest, mark.step);
    return highest + 1;
}

ArrowHead ComputeArrowHead(POINT tail, POINT head, int strokeWidth)
{
    const double length = 4.0 * std::max(strokeWidth, 1) + 4.0;
    const double halfWidth = length / 2.0;
    double dx = head.x - tail.x;
    double dy = head.y - tail.y;
    const double d = std::hypot(dx, dy);
    // A click without a drag still points somewhere: to the right.
    if (d < 1e-9) {
        dx = 1.0;
        dy = 0.0;
    } else {
        dx /= d;
        dy /= d;
    }
    auto at = [](double x, double y) { return POINT{static_cast<LONG>(std::lround(x)), static_cast<LONG>(std::lround(y))}; };
    const double bx = head.x - dx * length;
    const double by = head.y - dy * length;
    return ArrowHead{head, at(bx - dy * halfWidth, by + dx * halfWidth), at(bx + dy * halfWidth, by - dx * halfWidth),
                     at(bx, by)};
}

int ScaleForDpi(int pixelsAt96, int dpi) { return ::MulDiv(pixelsAt96, dpi > 0 ? dpi : 96, 96); }
int StepDiameter(int dpi) { return ScaleForDpi(28, dpi); }
int PixelBlockSize(int dpi) { return std::max(1, ScaleForDpi(10, dpi)); }
int TextHeight(int strokeWidth) { return 12 + 3 * strokeWidth; }

CRect MarkBounds(const Mark& mark)
{
    CRect bounds;
    bool first = true;
    auto add = [&](const RECT& rc) {
        if (first)
            bounds = rc;
        else
            ::UnionRect(&bounds, &bounds, &rc);
        first = false;
    };
    auto addPoint = [&](POINT p, int radius) { add(CRect(p.x - radius, p.y - radius, p.x + radius + 1, p.y + radius + 1)); };
    switch (mark.tool) {
    case MarkTool::Arrow:
        if (mark.points.size() == 2) {
            const ArrowHead h = ComputeArrowHead(mark.points[0], mark.points[1], mark.width);
            for (POINT p : {mark.points[0], h.tip, h.left, h.right})
                addPoint(p, mark.width + 2);
        }
        break;
    case MarkTool::Pen:
    case MarkTool::Marker:
        for (POINT p : mark.points)
            addPoint(p, mark.width * (mark.tool == MarkTool::Marker ? 2 : 1) + 2);
        break;
    case MarkTool::Text:
        // Generous: the text is measured only when it is drawn.
        if (!mark.points.empty())
            add(CRect(mark.points[0].x - 2, mark.points[0].y - 2,
                      mark.points[0].x + 2 + mark.size * static_cast<int>(mark.text.size() + 1),
                      mark.points[0].y + 2 + mark.size * 3 / 2));
        break;
    case MarkTool::Step:
        if (!mark.points.empty())
            addPoint(mark.points[0], mark.size / 2 + 2);
        break;
    case MarkTool::Rectangle:
    case MarkTool::Pixelate:
    case MarkTool::Redact:
        add(mark.rect);
        break;
    case MarkTool::None:
        break;
    }
    return bounds;
}
