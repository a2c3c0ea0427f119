// What one capture works on: the frozen screen and the rectangles the user
// chooses on it. The application owns the one session and hands it to the
// grab, the capture window, the options dialog and the output. Every grab
// replaces the image and starts the choices afresh.
//
// Every rectangle here is in image coordinates: the image's pixel (0, 0) is
// the virtual screen's top-left corner, left of or above the primary
// monitor's when a monitor lies there (m_screen converts); physical pixels,
// right and bottom edges just outside.
#pragma once

#include "capture/MarkDrag.h"
#include "capture/VirtualScreen.h"
#include "framework/CWnd.h"
#include "framework/Gdi.h"

class CaptureSession {
public:
    CBitmap m_bmpScreen;              // the grabbed screen image, not selected anywhere
    VirtualScreen m_screen;           // where that image lies on the desktop, at the grab
    CDC m_dcScreen;                   // memory DC compatible with the screen; nothing of ours selected
    CRect m_rcWindow;                 // foreground window at the grab; empty when there was none
    CRect m_rcArea;                   // capture area; empty means the primary monitor
    CRect m_rcHighlight;              // red outline; empty means none
    BOOL m_bMarkMode = FALSE;         // the next drag sets the highlight
    CWnd* m_pwndMagnifier = nullptr;  // the options dialog's magnifier while it exists
    double m_dZoom = 2.0;             // magnifier zoom, kept from capture to capture
    MarkSession m_marks;              // the marks drawn on the image, the tool, colour and width

    // The area's three sources: the whole image, the foreground window, a drag.
    void SelectWholeImage() { m_rcArea.SetRectEmpty(); }
    void SelectWindow() { m_rcArea = m_rcWindow; }
    void SelectArea(const CRect& rc) { m_rcArea = rc; }

    // A fresh start after a grab: the area from the hotkey, no highlight,
    // no mark mode, no marks and no tool pressed.
    void ResetChoices(bool areaIsWindow)
    {
        if (areaIsWindow)
            SelectWindow();
        else
            SelectWholeImage();
        m_rcHighlight.SetRectEmpty();
        m_bMarkMode = FALSE;
        m_marks.list.Clear();
        m_marks.tool = MarkTool::None;
    }
};
