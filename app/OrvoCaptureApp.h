// The application object: it picks the mode from the command line, owns
// everything that lives as long as the process, and ends the program.
#pragma once

#include "framework/CWinApp.h"
#include "capture/CaptureDlg.h"
#include "capture/VirtualScreen.h"
#include "framework/Gdi.h"
#include "ui/SystemTray.h"

class COrvoCaptureApp : public CWinApp {
public:
    COrvoCaptureApp() = default;
    ~COrvoCaptureApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // (Re)registers both global hotkeys on the main window from the settings.
    void RegisterHotkeys();

    CSystemTray m_tray;
    ATOM m_atomFullscreen = 0;
    CBitmap m_bmpScreen;        // the grabbed screen image
    VirtualScreen m_screen;     // where that image lies on the desktop
    CDC m_dcScreen;             // memory DC compatible with the screen
    // Rectangles in image coordinates (screen coordinates less the origin).
    CRect m_rcWindow;           // foreground window at the last grab
    CRect m_rcArea;             // capture area; empty means the primary monitor
    CRect m_rcHighlight;        // red outline; empty means none
    BOOL m_bMarkMode = FALSE;   // the next drag sets the highlight
    CWnd* m_pwndMagnifier = nullptr;
    CCaptureDlg m_captureDlg;   // one capture window, reused by every capture
    ATOM m_atomWindow = 0;
    CString m_strUploadUrl;     // address of a finished upload not shown yet

protected:
    // Uploads the file named on the command line and shows the outcome.
    virtual void RunUploadMode(const CString& path);
};

// The one application object of the running program.
inline COrvoCaptureApp& OrvoApp() { return *static_cast<COrvoCaptureApp*>(AfxGetApp()); }
