// The clipboard destination: the final image as a device-dependent bitmap.
#pragma once

#include <windows.h>
// The GDI+ headers need what the lean Windows headers leave out.
#include <objidl.h>
#include <gdiplus.h>

// Puts image on the clipboard as CF_BITMAP, owned by owner. Each failing
// step is shown to the user and the rest goes on; the clipboard is always
// closed again.
void CopyImageToClipboard(Gdiplus::GpBitmap* image, HWND owner);
