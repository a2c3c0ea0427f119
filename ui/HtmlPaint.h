// The About box's markup painted with GDI into any device context: a window's
// during WM_PAINT, or a memory bitmap's in a test.
#pragma once

#include "ui/HtmlLayout.h"

// Paints the markup into the client rectangle of the DC and returns the links
// drawn. The DC's selected font is put back when it ends.
std::vector<HtmlLink> PaintHtml(HDC dc, const RECT& client, const std::wstring& markup, const LOGFONTW& windowFont,
                                COLORREF textColor, COLORREF backgroundColor, HtmlDrawState& state);

// The description of a window's font, or of the stock system font when the
// window has none (or there is no window).
LOGFONTW WindowFontDescription(HWND hwnd);
