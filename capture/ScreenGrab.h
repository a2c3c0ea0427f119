// Freezing the screen into a capture session.
#pragma once

#include <windows.h>

class CaptureSession;

// Copies the desktop (the whole virtual screen, every monitor) into the
// session's image and records the foreground window's rectangle in image
// coordinates, trimmed by the sizing frame when it is maximised. The area
// becomes that rectangle when areaIsWindow, else empty (the primary
// monitor); highlight
// and mark mode are cleared. Returns the foreground window, to give the
// foreground back to when the capture ends (null when there was none).
HWND GrabScreen(CaptureSession& session, bool areaIsWindow);
