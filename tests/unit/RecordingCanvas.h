// A canvas for layout tests without a window: every character is 6 pixels
// wide (7 in bold), a line is as high as the font's height, and everything
// drawn is recorded with the font and colours it was drawn in.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/HtmlLayout.h"

struct DrawnText {
    int x, y;
    std::wstring text;
    LOGFONTW font;
    COLORREF color, background;
};

struct DrawnRule {
    int left, right, y, thickness;
    COLORREF color;
};

class RecordingCanvas : public HtmlCanvas {
public:
    void SelectFont(const LOGFONTW& font) override { m_font = font; }
    TEXTMETRICW Metrics() override
    {
        TEXTMETRICW tm{};
        tm.tmHeight = LineHeight();
        tm.tmAscent = tm.tmHeight * 3 / 4;
        tm.tmDescent = tm.tmHeight - tm.tmAscent;
        return tm;
    }
    SIZE Measure(const std::wstring& text) override
    {
        return {static_cast<LONG>(text.size()) * (m_font.lfWeight >= FW_BOLD ? 7 : 6), LineHeight()};
    }
    void SetColors(COLORREF text, COLORREF background) override
    {
        m_color = text;
        m_background = background;
    }
    void ResetJustification() override {}
    void DrawText(int x, int y, const std::wstring& text) override
    {
        texts.push_back({x, y, text, m_font, m_color, m_background});
    }
    void Fill(const RECT& rect, COLORREF color) override { fills.push_back({rect, color}); }
    void DrawRule(int left, int right, int y, int thickness, COLORREF color) override
    {
        rules.push_back({left, right, y, thickness, color});
    }

    // The drawn piece that shows the text, or null.
    const DrawnText* Find(const std::wstring& text) const
    {
        for (const DrawnText& t : texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }

    // The drawn piece that shows the text; a failure when there is none.
    const DrawnText& At(const std::wstring& text) const
    {
        if (const DrawnText* t = Find(text))
            return *t;
        ADD_FAILURE() << "nothing drawn shows the text";
        static const DrawnText none{};
        return none;
    }

    struct Filled {
        RECT rect;
        COLORREF color;
    };
    std::vector<DrawnText> texts;
    std::vector<DrawnRule> rules;
    std::vector<Filled> fills;

private:
    LONG LineHeight() const { return m_font.lfHeight == 0 ? 13 : std::labs(m_font.lfHeight); }
    LOGFONTW m_font{};
    COLORREF m_color = 0, m_background = 0;
};

// A plain 13-pixel font description, as a dialog's font would be.
inline LOGFONTW TestFont()
{
    LOGFONTW font{};
    font.lfHeight = -13;
    font.lfWeight = FW_NORMAL;
    ::lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return font;
}
