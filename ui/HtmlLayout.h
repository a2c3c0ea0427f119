// Lays out and draws the About box's markup on a canvas: fonts, colours,
// word wrapping, sub- and superscript, rules and the rectangles of links.
// The canvas is GDI on any device context when painting (HtmlPaint.h), or
// anything else that measures and records, so layout is testable without a
// window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class HtmlCanvas {
public:
    virtual ~HtmlCanvas() = default;
    // Makes the font and selects it for the text that follows.
    virtual void SelectFont(const LOGFONTW& font) = 0;
    virtual TEXTMETRICW Metrics() = 0;
    virtual SIZE Measure(const std::wstring& text) = 0;
    virtual void SetColors(COLORREF text, COLORREF background) = 0;
    virtual void ResetJustification() = 0;
    virtual void DrawText(int x, int y, const std::wstring& text) = 0;
    virtual void Fill(const RECT& rect, COLORREF color) = 0;
    // A solid band of the given thickness whose top edge is y.
    virtual void DrawRule(int left, int right, int y, int thickness, COLORREF color) = 0;
};

// What the markup carries from one paint to the next: nesting counters, the
// link flag and the rule thickness are not reset when a paint starts.
struct HtmlDrawState {
    int underline = 0, bold = 0, italic = 0, strike = 0, sub = 0, sup = 0;
    int pendingRules = 0;
    int ruleThickness = 2;
    bool inLink = false;
};

struct HtmlLink {
    RECT rect;            // client coordinates, where the link's text was drawn
    std::wstring target;  // as written after "<A HREF=", quotes included
};

// Takes the next word from pos: a carriage return is skipped, a line feed
// ends the word as a space and sets *lineBreak, an entity sequence becomes
// its character, and the word ends right after a space.
std::wstring TakeWord(const std::wstring& token, size_t& pos, bool* lineBreak);

// Draws a token word-wrapped from pen x on the line at pen y inside the layout
// rectangle, whose top follows the line last drawn on; returns the new pen x.
// Lines that would not fit entirely are consumed but not drawn.
int DrawWrappedText(HtmlCanvas& canvas, const std::wstring& token, RECT& layout, int penX, int& penY);

// One whole paint of the markup (the window text, entities not yet replaced)
// into the client rectangle: fills it with the background, draws every token
// and returns the links drawn.
std::vector<HtmlLink> LayOutHtml(HtmlCanvas& canvas, const std::wstring& markup, const RECT& client,
                                 const LOGFONTW& windowFont, COLORREF textColor, COLORREF backgroundColor,
                                 HtmlDrawState& state);
