// The capture entry: freezes the screen when a hotkey is pressed.
#pragma once

// hotkeyId is the identifier of the hotkey pressed; the window hotkey starts
// with the foreground window as the capture area, any other the full screen.
void CaptureScreen(int hotkeyId);
