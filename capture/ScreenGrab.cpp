#include "capture/ScreenGrab.h"

#include "capture/AltMenuMask.h"
#include "capture/CaptureSession.h"
#include "capture/FrameThickness.h"

HWND GrabScreen(CaptureSession& session, bool areaIsWindow)
{
    MaskAltMenuActivation();
    // The image covers every monitor: its corner is the virtual screen's,
    // left of or above the primary monitor when a monitor lies there.
    session.m_screen = VirtualScreenOf(CurrentMonitorLayout());
    const CPoint origin = session.m_screen.origin;
    const int width = session.m_screen.size.cx;
    const int height = session.m_screen.size.cy;

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
        session.m_dcScreen.BitBlt(0, 0, width, height, dcDesktop, origin.x, origin.y, SRCCOPY);
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
        session.m_rcWindow = ScreenToImage(session.m_screen, onScreen);
    } else {
        // Nothing has the foreground (the desktop itself): no window to offer.
        session.m_rcWindow.SetRectEmpty();
    }
    session.ResetChoices(areaIsWindow);
    return foreground;
}
