#include "capture/ScreenGrab.h"

#include "capture/AltMenuMask.h"
#include "capture/CaptureSession.h"
#include "capture/FrameThickness.h"

HWND GrabScreen(CaptureSession& session, bool areaIsWindow)
{
    MaskAltMenuActivation();
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);

    // One screen image at a time. The last capture's bitmap is written over
    // when the screen kept its size: a fresh one costs an allocation and the
    // first touch of every page, on the way to showing the frozen screen.
    HWND desktop = ::GetDesktopWindow();
    {
        CClientDC dcDesktop(desktop);
        if (!session.m_dcScreen.GetSafeHdc())
            session.m_dcScreen.CreateCompatibleDC(dcDesktop);
        BITMAP kept{};
        const bool reusable = session.m_bmpScreen.GetSafeHandle() && session.m_bmpScreen.GetBitmap(&kept) &&
                              kept.bmWidth == width && kept.bmHeight == height &&
                              kept.bmBitsPixel == ::GetDeviceCaps(dcDesktop, BITSPIXEL);
        if (!reusable) {
            session.m_bmpScreen.DeleteObject();
            session.m_bmpScreen.CreateCompatibleBitmap(dcDesktop, width, height);
        }
        CSelection select(session.m_dcScreen, session.m_bmpScreen);
        session.m_dcScreen.BitBlt(0, 0, width, height, dcDesktop, 0, 0, SRCCOPY);
    }

    HWND foreground = ::GetForegroundWindow();
    if (foreground) {
        ::GetWindowRect(foreground, &session.m_rcWindow);
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (::GetWindowPlacement(foreground, &placement) && placement.showCmd == SW_SHOWMAXIMIZED) {
            const SIZE frame = FrameThickness(foreground);
            session.m_rcWindow.DeflateRect(frame.cx, frame.cy);
        }
    } else {
        // Nothing has the foreground (the desktop itself): no window to offer.
        session.m_rcWindow.SetRectEmpty();
    }
    session.ResetChoices(areaIsWindow);
    return foreground;
}
