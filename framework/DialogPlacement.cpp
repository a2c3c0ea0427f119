#include "framework/DialogPlacement.h"

#include <algorithm>
#include <climits>

namespace {

// How far the point lies from the rectangle (0 inside); squared, to compare.
long long DistanceSquared(const CRect& rc, CPoint pt)
{
    const long long dx = pt.x < rc.left ? rc.left - pt.x : (pt.x >= rc.right ? pt.x - (rc.right - 1) : 0);
    const long long dy = pt.y < rc.top ? rc.top - pt.y : (pt.y >= rc.bottom ? pt.y - (rc.bottom - 1) : 0);
    return dx * dx + dy * dy;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM param)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::vector<MonitorAreas>*>(param)->push_back({info.rcMonitor, info.rcWork});
    return TRUE;
}

}  // namespace

const MonitorAreas* MonitorAt(const std::vector<MonitorAreas>& monitors, CPoint point)
{
    const MonitorAreas* nearest = nullptr;
    long long best = LLONG_MAX;
    for (const MonitorAreas& m : monitors) {
        const long long d = DistanceSquared(m.monitor, point);
        if (d < best) {
            best = d;
            nearest = &m;
        }
    }
    return nearest;
}

CPoint CentredInWorkArea(const CRect& work, CSize size)
{
    const auto place = [](LONG low, LONG high, LONG length) {
        const LONG centred = low + (high - low - length) / 2;
        return std::max(low, std::min(centred, high - length));
    };
    return CPoint(place(work.left, work.right, size.cx), place(work.top, work.bottom, size.cy));
}

std::vector<MonitorAreas> SystemMonitors()
{
    std::vector<MonitorAreas> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

void CentreOnPointerMonitor(HWND hwnd)
{
    POINT cursor{};
    if (!::GetCursorPos(&cursor))
        return;
    const std::vector<MonitorAreas> monitors = SystemMonitors();
    const MonitorAreas* monitor = MonitorAt(monitors, cursor);
    CRect rc;
    if (!monitor || !::GetWindowRect(hwnd, &rc))
        return;
    const CPoint origin = CentredInWorkArea(monitor->work, CSize(rc.Width(), rc.Height()));
    ::SetWindowPos(hwnd, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
