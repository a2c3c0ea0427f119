// Where a dialog goes when its owner cannot place it: centred on the work
// area of the monitor the user is looking at, the one under the pointer.
#pragma once

#include <vector>

#include "framework/Geometry.h"

// A monitor's whole area and the part the taskbar leaves free.
struct MonitorAreas {
    CRect monitor;
    CRect work;
};

// The monitor that holds the point; on none, the nearest one. Null only when
// there are no monitors at all.
const MonitorAreas* MonitorAt(const std::vector<MonitorAreas>& monitors, CPoint point);

// The top-left corner that centres a window of the given size on the work
// area, moved back inside it where it would stick out (a window larger than
// the area keeps its top-left corner, where the title bar is, visible).
CPoint CentredInWorkArea(const CRect& work, CSize size);

// The monitors the system has now.
std::vector<MonitorAreas> SystemMonitors();

// Centres the window on the work area of the monitor under the pointer.
void CentreOnPointerMonitor(HWND hwnd);
