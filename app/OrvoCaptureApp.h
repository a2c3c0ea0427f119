// The application object: it picks the mode from the command line, owns
// everything that lives as long as the process, and ends the program.
#pragma once

#include "app/SystemTray.h"
#include "capture/CaptureDlg.h"
#include "capture/CaptureSession.h"
#include "framework/CWinApp.h"

class COrvoCaptureApp : public CWinApp {
public:
    COrvoCaptureApp();
    // The hotkeys go back even when the object ends without ExitInstance.
    ~COrvoCaptureApp() override { ReleaseHotkeys(); }

    BOOL InitInstance() override;
    int ExitInstance() override;
    // (Re)registers both global hotkeys on the main window from the settings.
    void RegisterHotkeys();
    // Unregisters both hotkeys and gives their identifiers back.
    void ReleaseHotkeys();
    // One capture, from the hotkey with this identifier to the result: the
    // window hotkey starts with the foreground window as the area, any other
    // with the whole screen.
    void Capture(int hotkeyId);

    CSystemTray m_tray;
    ATOM m_atomFullscreen = 0;
    CaptureSession m_session;   // the frozen screen and the choices made on it
    CCaptureDlg m_captureDlg;   // one capture window, reused by every capture
    ATOM m_atomWindow = 0;

protected:
    // Uploads the file named on the command line and shows the outcome.
    virtual void RunUploadMode(const CString& path);
};

// The one application object of the running program.
inline COrvoCaptureApp& OrvoApp() { return *static_cast<COrvoCaptureApp*>(AfxGetApp()); }

// The tray's hotkey callback: a capture on the running application.
void CaptureScreen(int hotkeyId);
