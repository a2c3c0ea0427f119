#include "app/OrvoCaptureApp.h"

#include "capture/ScreenGrab.h"
#include "upload/GetTagsDlg.h"

void CaptureScreen(int hotkeyId) { OrvoApp().Capture(hotkeyId); }

void COrvoCaptureApp::Capture(int hotkeyId)
{
    // The capture window's modal loop still delivers hotkeys to the tray:
    // a capture never starts inside another.
    if (m_captureDlg.m_hWnd && m_captureDlg.IsWindowVisible())
        return;
    HWND foreground = GrabScreen(m_session, hotkeyId == m_atomWindow);

    // The options dialog has delivered everything by the time this returns.
    const CString address = m_captureDlg.Run();
    if (!address.IsEmpty()) {
        CGetTagsDlg result;
        result.m_strUrl = address;
        result.DoModal();
    }

    if (foreground)
        ::SetForegroundWindow(foreground);
}
