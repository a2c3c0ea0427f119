// The marks of one capture and the mark under the mouse or the keyboard:
// the capture window hands it presses, moves, releases and typed keys (in
// image coordinates) and repaints the rectangles it returns.
#pragma once

#include "capture/CaptureScene.h"
#include "capture/MarkDrag.h"

class MarkEditor {
public:
    // Starts a capture's editing on session's marks, nothing pending.
    void Begin(MarkSession& session);

    // A press with the session's tool. image (a memory DC holding the screen
    // image of imageSize) is what a pixelation averages, with the marks.
    CRect Press(POINT pt, HDC image, SIZE imageSize);
    CRect Move(POINT pt);
    CRect Release();
    bool IsDragging() const { return m_dragging; }

    bool IsTyping() const { return m_typing; }
    CRect Type(wchar_t ch);
    CRect Backspace();
    // Keeps the text typed so far as a mark (Enter, a click elsewhere,
    // another tool, OK).
    CRect EndText();
    CRect CancelText();

    CRect Undo();
    CRect Redo();

    // What is being drawn or typed, as it shows (a text with its caret);
    // null when nothing is.
    const Mark* Pending();

private:
    CRect Keep();

    MarkSession m_unbound;
    MarkSession* m_session = &m_unbound;
    Mark m_pending;
    Mark m_shown;
    bool m_dragging = false;
    bool m_typing = false;
    ComposedPixels m_source;
};
