// Colours written as text, the way the About box's markup writes them:
// "R,G,B" in decimal, "#RRGGBB", or one of 140 colour names.
#pragma once

#include <windows.h>

class CXNamedColors {
public:
    explicit CXNamedColors(const wchar_t* text) { ParseColor(text); }
    virtual ~CXNamedColors() = default;

    // Anything none of the three notations reads gives black.
    void ParseColor(const wchar_t* text);
    COLORREF GetColor() const { return m_color; }

private:
    COLORREF m_color = 0;
};

struct NamedColor {
    const wchar_t* name;
    DWORD rgb;  // written red first, 0xRRGGBB
};

// The 140 names in the order they are searched; the last entry has no name.
extern const NamedColor g_namedColors[];
