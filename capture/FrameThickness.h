// The sizing-frame thickness of a window as its own monitor draws it.
#pragma once

#include <windows.h>

// SM_CXFRAME and SM_CYFRAME at the DPI of the monitor the window is on. A
// per-monitor-aware program on a mixed-DPI desktop gets only the primary
// monitor's values from GetSystemMetrics; systems before Windows 10 1607,
// which have one DPI for all monitors, answer with those.
SIZE FrameThickness(HWND window);
