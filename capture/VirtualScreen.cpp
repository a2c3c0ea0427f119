#include "capture/VirtualScreen.h"

VirtualScreen VirtualScreenOf(const MonitorLayout& monitors)
{
    VirtualScreen screen;
    if (monitors.empty())
        return screen;
    CRect bounds = monitors.front();
    for (const CRect& monitor : monitors)
        ::UnionRect(&bounds, &bounds, &monitor);
    screen.origin = bounds.TopLeft();
    screen.size = CSize(bounds.Width(), bounds.Height());
    CRect primary = monitors.front();
    for (const CRect& monitor : monitors)
        if (monitor.left == 0 && monitor.top == 0)
            primary = monitor;
    screen.primary = ScreenToImage(screen, primary);
    return screen;
}

CPoint ScreenToImage(const VirtualScreen& screen, POINT pt)
{
    return CPoint(pt.x - screen.origin.x, pt.y - screen.origin.y);
}

CRect ScreenToImage(const VirtualScreen& screen, const RECT& rc)
{
    CRect image = rc;
    image.OffsetRect(-screen.origin.x, -screen.origin.y);
    return image;
}

CPoint ImageToScreen(const VirtualScreen& screen, POINT pt)
{
    return CPoint(pt.x + screen.origin.x, pt.y + screen.origin.y);
}

CRect ImageToScreen(const VirtualScreen& screen, const RECT& rc)
{
    CRect onScreen = rc;
    onScreen.OffsetRect(screen.origin.x, screen.origin.y);
    return onScreen;
}

bool IsOnAMonitor(const MonitorLayout& monitors, POINT pt)
{
    for (const CRect& monitor : monitors)
        if (monitor.PtInRect(pt))
            return true;
    return false;
}

namespace {

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rc, LPARAM layout)
{
    reinterpret_cast<MonitorLayout*>(layout)->push_back(CRect(*rc));
    return TRUE;
}

}  // namespace

MonitorLayout CurrentMonitorLayout()
{
    MonitorLayout monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        // No monitor to enumerate (a display driver without the call): the
        // virtual screen's rectangle as one monitor.
        const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
        monitors.push_back(CRect(x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                 y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)));
    }
    return monitors;
}
