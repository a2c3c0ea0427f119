// The texts a failed GDI+ step is reported with.
#pragma once

#include "framework/CString.h"

// Texts of the GDI+ Status values 0 to 21, by number.
extern const wchar_t* const g_gdipStatusText[22];
// The text of a status; a status without one reads "GDI+ status N".
CString GdipStatusText(int status);
