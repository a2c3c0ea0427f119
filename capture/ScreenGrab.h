// Freezing the screen into a capture session.
#pragma once

#include <windows.h>

class CaptureSession;

// Copies the desktop (the virtual screen's size from the primary monitor's
// corner) into the session's image and records the foreground window's
// rectangle, trimmed by the sizing frame when it is maximised. The area
// becomes that rectangle when areaIsWindow, else the whole image; highlight
// and mark mode are cleared. Returns the foreground window, to give the
// foreground back to when the capture ends (null when there was none).
HWND GrabScreen(CaptureSession& session, bool areaIsWindow);
