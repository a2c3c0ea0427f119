// What one capture works on: the frozen screen and the rectangles the user
// chooses on it. The application owns the one session and hands it to the
// grab, the capture window, the options dialog and the output. Every grab
// replaces the image and starts the choices afresh.
//
// Coordinates are those of the screen image, which are the desktop's screen
// coordinates: origin at the primary monitor's top-left corner, physical
// pixels, right and bottom edges just outside.
#pragma once

#include "framework/CWnd.h"
#include "framework/Gdi.h"

class CaptureSession {
public:
    CBitmap m_bmpScreen;              // the grabbed screen image, not selected anywhere
    CDC m_dcScreen;                   // memory DC compatible with the screen; nothing of ours selected
    CRect m_rcWindow;                 // foreground window at the grab; empty when there was none
    CRect m_rcArea;                   // capture area; empty means the whole image
    CRect m_rcHighlight;              // red outline; empty means none
    BOOL m_bMarkMode = FALSE;         // the next drag sets the highlight
    CWnd* m_pwndMagnifier = nullptr;  // the options dialog's magnifier while it exists
    double m_dZoom = 2.0;             // magnifier zoom, kept from capture to capture
    // The marks drawn on the image come here.

    // The area's three sources: the whole image, the foreground window, a drag.
    void SelectWholeImage() { m_rcArea.SetRectEmpty(); }
    void SelectWindow() { m_rcArea = m_rcWindow; }
    void SelectArea(const CRect& rc) { m_rcArea = rc; }

    // A fresh start after a grab: the area from the hotkey, no highlight,
    // no mark mode.
    void ResetChoices(bool areaIsWindow)
    {
        if (areaIsWindow)
            SelectWindow();
        else
            SelectWholeImage();
        m_rcHighlight.SetRectEmpty();
        m_bMarkMode = FALSE;
    }
};
