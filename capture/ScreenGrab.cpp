#include "capture/ScreenGrab.h"

#include "app/OrvoCaptureApp.h"
#include "capture/AltMenuMask.h"
#include "capture/FrameThickness.h"
#include "upload/GetTagsDlg.h"

void CaptureScreen(int hotkeyId)
{
    COrvoCaptureApp& app = OrvoApp();
    // The capture window's modal loop still delivers hotkeys to the tray:
    // a capture never starts inside another.
    if (app.m_captureDlg.m_hWnd && app.m_captureDlg.IsWindowVisible())
        return;
    MaskAltMenuActivation();
    // The image covers every monitor: its corner is the virtual screen's,
    // left of or above the primary monitor when a monitor lies there.
    app.m_screen = VirtualScreenOf(CurrentMonitorLayout());
    const CPoint origin = app.m_screen.origin;
    const int width = app.m_screen.size.cx;
    const int height = app.m_screen.size.cy;

    // One screen image at a time. The last capture's bitmap is written over
    // when the screen kept its size: a fresh one costs an allocation and the
    // first touch of every page, on the way to showing the frozen screen.
    HWND desktop = ::GetDesktopWindow();
    {
        CClientDC dcDesktop(desktop);
        if (!app.m_dcScreen.GetSafeHdc())
            app.m_dcScreen.CreateCompatibleDC(dcDesktop);
        BITMAP kept{};
        const bool reusable = app.m_bmpScreen.GetSafeHandle() && app.m_bmpScreen.GetBitmap(&kept) &&
                              kept.bmWidth == width && kept.bmHeight == height &&
                              kept.bmBitsPixel == ::GetDeviceCaps(dcDesktop, BITSPIXEL);
        if (!reusable) {
            app.m_bmpScreen.DeleteObject();
            app.m_bmpScreen.CreateCompatibleBitmap(dcDesktop, width, height);
        }
        CSelection select(app.m_dcScreen, app.m_bmpScreen);
        app.m_dcScreen.BitBlt(0, 0, width, height, dcDesktop, origin.x, origin.y, SRCCOPY);
    }

    HWND foreground = ::GetForegroundWindow();
    if (foreground) {
        CRect onScreen;
        ::GetWindowRect(foreground, &onScreen);
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (::GetWindowPlacement(foreground, &placement) && placement.showCmd == SW_SHOWMAXIMIZED) {
            const SIZE frame = FrameThickness(foreground);
            onScreen.DeflateRect(frame.cx, frame.cy);
        }
        app.m_rcWindow = ScreenToImage(app.m_screen, onScreen);
    } else {
        // Nothing has the foreground (the desktop itself): no window to offer.
        app.m_rcWindow.SetRectEmpty();
    }

    if (hotkeyId == app.m_atomWindow)
        app.m_rcArea = app.m_rcWindow;
    else
        app.m_rcArea.SetRectEmpty();
    app.m_rcHighlight.SetRectEmpty();
    app.m_bMarkMode = FALSE;

    // The options dialog has delivered everything by the time this returns.
    app.m_captureDlg.DoModal();

    if (!app.m_strUploadUrl.IsEmpty()) {
        CGetTagsDlg result;
        result.m_strUrl = app.m_strUploadUrl;
        app.m_strUploadUrl.Empty();  // shown once
        result.DoModal();
    }

    if (foreground)
        ::SetForegroundWindow(foreground);
}
