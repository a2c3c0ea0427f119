// What the options dialog asks of the capture window it floats on: the mark
// tools, undo and redo, the keys of a text being typed, the magnifier. The
// capture window answers; the dialog knows it by no more than this.
#pragma once

#include <windows.h>

#include "capture/Marks.h"

class CaptureSurface {
public:
    // A new tool, undo and redo first keep a text being typed.
    virtual void SetMarkTool(MarkTool tool) = 0;
    virtual void UndoMark() = 0;
    virtual void RedoMark() = 0;
    virtual void EndMarkText() = 0;
    // Keys while a text is typed go into it; true when msg was taken.
    virtual bool TakeTextKey(MSG* msg) = 0;
    // Redraws the magnifier around the pointer.
    virtual void UpdateMagnifier() = 0;

protected:
    ~CaptureSurface() = default;
};
