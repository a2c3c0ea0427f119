#include "capture/MarkDrag.h"

#include "capture/CaptureGeometry.h"

namespace {

bool IsRectTool(MarkTool tool)
{
    return tool == MarkTool::Rectangle || tool == MarkTool::Pixelate || tool == MarkTool::Redact;
}

CRect Union(const CRect& a, const CRect& b)
{
    if (a.IsRectEmpty())
        return b;
    if (b.IsRectEmpty())
        return a;
    CRect u;
    ::UnionRect(&u, &a, &b);
    return u;
}

}  // namespace

bool IsDragTool(MarkTool tool) { return tool != MarkTool::None && tool != MarkTool::Text && tool != MarkTool::Step; }

Mark BeginMark(MarkTool tool, const MarkStyle& style, POINT pt, int stepNumber)
{
    Mark mark;
    mark.tool = tool;
    mark.color = style.color;
    mark.width = ScaleForDpi(style.width, style.dpi);
    mark.points = {pt};
    switch (tool) {
    case MarkTool::Arrow:
        mark.points.push_back(pt);
        break;
    case MarkTool::Rectangle:
    case MarkTool::Redact:
        // The area's rule: nothing until the pointer moves.
        mark.rect = CRect(pt.x, pt.y, pt.x, pt.y);
        break;
    case MarkTool::Pixelate:
        mark.rect = CRect(pt.x, pt.y, pt.x, pt.y);
        mark.size = PixelBlockSize(style.dpi);
        break;
    case MarkTool::Text:
        mark.size = ScaleForDpi(TextHeight(style.width), style.dpi);
        break;
    case MarkTool::Step:
        mark.size = StepDiameter(style.dpi);
        mark.step = stepNumber;
        break;
    default:
        break;
    }
    return mark;
}

CRect ContinueMark(Mark& mark, POINT pt, const PixelView& source)
{
    if (IsRectTool(mark.tool)) {
        const CRect before = mark.rect;
        const POINT anchor = mark.points.front();
        const CRect rect = NormalizedRect(DragAfterMove(CRect(anchor.x, anchor.y, anchor.x, anchor.y), pt));
        if (mark.tool == MarkTool::Pixelate)
            RepixelateMark(mark, source, rect);
        else
            mark.rect = rect;
        return Union(before, mark.rect);
    }
    switch (mark.tool) {
    case MarkTool::Arrow: {
        const CRect before = MarkBounds(mark);
        mark.points.back() = pt;
        return Union(before, MarkBounds(mark));
    }
    case MarkTool::Pen:
    case MarkTool::Marker: {
        const POINT last = mark.points.back();
        if (last.x == pt.x && last.y == pt.y)
            return CRect();
        // Only the new piece of the stroke needs painting.
        Mark piece = mark;
        piece.points = {last, pt};
        mark.points.push_back(pt);
        return MarkBounds(piece);
    }
    default:
        return CRect();
    }
}

bool IsMarkWorthKeeping(const Mark& mark)
{
    switch (mark.tool) {
    case MarkTool::Arrow:
        return mark.points.size() == 2 && (mark.points[0].x != mark.points[1].x || mark.points[0].y != mark.points[1].y);
    case MarkTool::Rectangle:
    case MarkTool::Redact:
        return !mark.rect.IsRectEmpty();
    case MarkTool::Pixelate:
        return !mark.rect.IsRectEmpty() && !mark.blocks.empty();
    case MarkTool::Text:
        return !mark.text.empty();
    case MarkTool::None:
        return false;
    default:
        return true;
    }
}
