// What the output does to the frozen screen image with GDI: the highlight
// burned in, and the area cut out.
#pragma once

#include "framework/Gdi.h"

// Draws the highlight outline into dc: red, two pixels wide, on the inside
// edge of rc (a rounded outer ring and a square inner one).
void BurnHighlight(HDC dc, const RECT& rc);

// Copies area of the screen image selected into dcScreen (of imageSize) into
// cropped, a new bitmap compatible with dcScreen. Whatever of the area lies
// beyond the image is black. False when the bitmap cannot be made.
bool CropScreenImage(HDC dcScreen, SIZE imageSize, const CRect& area, CBitmap& cropped);
