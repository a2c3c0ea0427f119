// What the output does to the frozen screen image with GDI: the area cut
// out. (The highlight is burned in with the capture window's own outline,
// DrawHighlightOutline, so the image shows what the screen showed.)
#pragma once

#include "framework/Gdi.h"

// Copies area of the screen image selected into dcScreen (of imageSize) into
// cropped, a new bitmap compatible with dcScreen. Whatever of the area lies
// beyond the image is black. False when the bitmap cannot be made.
bool CropScreenImage(HDC dcScreen, SIZE imageSize, const CRect& area, CBitmap& cropped);
