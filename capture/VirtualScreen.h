// Where the screen image lies on the desktop. The image's pixel (0, 0) is
// the top-left corner of the virtual screen, the rectangle around every
// monitor; the desktop's own coordinates start at the primary monitor's
// corner, so a monitor left of or above the primary one has negative screen
// coordinates. Screen coordinates = image coordinates + origin; everything
// the capture keeps is in image coordinates, and these functions are the
// one place where the two meet.
#pragma once

#include <vector>

#include "framework/Geometry.h"

// The monitors' rectangles in screen coordinates; the primary monitor is the
// one whose corner is the screen origin (0, 0).
using MonitorLayout = std::vector<CRect>;

struct VirtualScreen {
    CPoint origin;  // the image's pixel (0, 0) in screen coordinates
    CSize size;     // the image's size: the rectangle around every monitor
    CRect primary;  // the primary monitor, in image coordinates
};

// The image of a layout. Without a monitor at the screen origin the first
// one counts as primary; an empty layout gives an empty image.
VirtualScreen VirtualScreenOf(const MonitorLayout& monitors);

CPoint ScreenToImage(const VirtualScreen& screen, POINT pt);
CRect ScreenToImage(const VirtualScreen& screen, const RECT& rc);
CPoint ImageToScreen(const VirtualScreen& screen, POINT pt);
CRect ImageToScreen(const VirtualScreen& screen, const RECT& rc);

// True when the screen point lies on one of the monitors. The gaps of the
// virtual screen between monitors of mixed sizes show nothing.
bool IsOnAMonitor(const MonitorLayout& monitors, POINT pt);

// The monitors of this desktop now, primary or not.
MonitorLayout CurrentMonitorLayout();
