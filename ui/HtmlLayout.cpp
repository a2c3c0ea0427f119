#include "ui/HtmlLayout.h"

#include "ui/HtmlMarkup.h"

namespace {

constexpr COLORREF kLinkColor = RGB(0, 0, 255);
// Extremes a font height is held within, whatever <BIG> and SIZE ask for.
constexpr LONG kMaxFontHeight = 2000;

void DecrementToZero(int& count)
{
    if (count > 0)
        --count;
}

LONG ClampHeight(LONG height)
{
    return height > kMaxFontHeight ? kMaxFontHeight : (height < -kMaxFontHeight ? -kMaxFontHeight : height);
}

// One step larger in magnitude (+1 for a positive height, -1 otherwise).
void Grow(LOGFONTW& font) { font.lfHeight = ClampHeight(font.lfHeight > 0 ? font.lfHeight + 1 : font.lfHeight - 1); }
void Shrink(LOGFONTW& font) { font.lfHeight = ClampHeight(font.lfHeight > 0 ? font.lfHeight - 1 : font.lfHeight + 1); }

// The token as it shows: entity sequences turned back into characters,
// carriage returns dropped and line feeds shown as spaces.
std::wstring Visible(const std::wstring& token)
{
    std::wstring text;
    size_t pos = 0;
    bool lineBreak = false;
    while (pos < token.size())
        text += TakeWord(token, pos, &lineBreak);
    return text;
}

// Everything one paint works with; the counters live in the caller's state.
class Painter {
public:
    Painter(HtmlCanvas& canvas, const RECT& client, const LOGFONTW& windowFont, COLORREF textColor,
            COLORREF backgroundColor, HtmlDrawState& state)
        : m_canvas(canvas), m_layout(client), m_initialFont(windowFont), m_font(windowFont),
          m_initialText(textColor), m_initialBack(backgroundColor), m_text(textColor), m_back(backgroundColor),
          m_state(state), m_penY(client.top)
    {
    }

    std::vector<HtmlLink> Run(const std::wstring& markup)
    {
        m_canvas.Fill(m_layout, m_initialBack);
        const std::wstring text = ReplaceEntities(markup);
        size_t pos = 0;
        MarkupItem item;
        while (NextMarkupItem(text, pos, item)) {
            if (!item.isTag)
                Draw(item.text, false);
            else if (item.tag == MarkupTag::Break)
                Draw(L"\r\n", true);
            else if (item.tag == MarkupTag::Rule) {
                if (item.ruleSize >= 0)
                    m_state.ruleThickness = item.ruleSize;
                ++m_state.pendingRules;
                Draw(L"\r\n", true);
            } else {
                Apply(item);
            }
        }
        return std::move(m_links);
    }

private:
    void Apply(const MarkupItem& item)
    {
        switch (item.tag) {
        case MarkupTag::Bold: ++m_state.bold; break;
        case MarkupTag::EndBold: DecrementToZero(m_state.bold); break;
        case MarkupTag::Italic: ++m_state.italic; break;
        case MarkupTag::EndItalic: DecrementToZero(m_state.italic); break;
        case MarkupTag::Underline: ++m_state.underline; break;
        case MarkupTag::EndUnderline: DecrementToZero(m_state.underline); break;
        case MarkupTag::Strike: ++m_state.strike; break;
        case MarkupTag::EndStrike: DecrementToZero(m_state.strike); break;
        case MarkupTag::Big: case MarkupTag::EndSmall: Grow(m_font); break;
        case MarkupTag::EndBig: case MarkupTag::Small: Shrink(m_font); break;
        case MarkupTag::Sub: ++m_state.sub; break;
        case MarkupTag::EndSub: DecrementToZero(m_state.sub); break;
        case MarkupTag::Sup: ++m_state.sup; break;
        case MarkupTag::EndSup: DecrementToZero(m_state.sup); break;
        case MarkupTag::Font: ApplyFont(ParseFontAttributes(item.text)); break;
        case MarkupTag::EndFont:
            m_text = m_initialText;
            m_back = m_initialBack;
            m_font = m_initialFont;
            // The bigger text's descent still hangs below the line it ended.
            if (m_sizeMark)
                m_penY += m_lastDescent;
            m_sizeMark = false;
            break;
        case MarkupTag::Code: ::lstrcpynW(m_font.lfFaceName, L"Courier New", LF_FACESIZE); break;
        case MarkupTag::EndCode: m_font = m_initialFont; break;
        case MarkupTag::Link:
            m_target = item.text;
            m_state.inLink = true;
            break;
        case MarkupTag::EndLink: m_state.inLink = false; break;
        case MarkupTag::Break: case MarkupTag::Rule: break;  // tokens, drawn by Run
        }
    }

    void ApplyFont(const FontAttributes& a)
    {
        if (a.hasColor)
            m_text = a.color;
        if (a.hasBgColor)
            m_back = a.bgColor;
        if (a.hasFace)
            ::lstrcpynW(m_font.lfFaceName, a.face.c_str(), LF_FACESIZE);
        if (a.hasSize) {
            m_font.lfHeight = ClampHeight(m_font.lfHeight - a.size);
            m_sizeMark = true;
        }
    }

    void Draw(const std::wstring& token, bool lineBreak)
    {
        LOGFONTW font = m_font;
        font.lfWeight = m_state.bold > 0 ? FW_BOLD : FW_NORMAL;
        font.lfItalic = m_state.italic > 0;
        font.lfUnderline = m_state.underline > 0;
        font.lfStrikeOut = m_state.strike > 0;
        COLORREF text = m_text;
        if (m_state.inLink) {
            // Links are blue and underlined whatever colour the text has.
            text = kLinkColor;
            font.lfUnderline = TRUE;
        }
        m_canvas.SetColors(text, m_back);
        m_canvas.SelectFont(font);
        const TEXTMETRICW tm = m_canvas.Metrics();
        m_lastDescent = tm.tmDescent;

        int shift = 0;
        const int half = tm.tmAscent / 2;
        if (m_state.sub > 0)
            shift += half;
        if (m_state.sup > 0)
            shift -= half;
        Move(shift);
        m_penX = DrawWrappedText(m_canvas, token, m_layout, m_penX, m_penY);
        if (lineBreak)
            m_penX = 0;
        Move(-shift);

        if (m_state.inLink) {
            const SIZE size = m_canvas.Measure(Visible(token));
            m_links.push_back({{m_penX - size.cx, m_layout.top, m_penX, m_layout.top + size.cy}, m_target});
        }
        if (m_state.pendingRules > 0) {
            m_canvas.DrawRule(m_layout.left, m_layout.right, m_layout.top, m_state.ruleThickness, text);
            m_layout.top += m_state.ruleThickness;
            m_layout.bottom += m_state.ruleThickness;
            m_penY += m_state.ruleThickness;
            m_penX = 0;
            --m_state.pendingRules;
        }
    }

    void Move(int dy)
    {
        m_penY += dy;
        m_layout.top += dy;
        m_layout.bottom += dy;
    }

    HtmlCanvas& m_canvas;
    RECT m_layout;
    const LOGFONTW m_initialFont;
    LOGFONTW m_font;
    const COLORREF m_initialText, m_initialBack;
    COLORREF m_text, m_back;
    HtmlDrawState& m_state;
    int m_penX = 0;
    int m_penY;
    bool m_sizeMark = false;
    LONG m_lastDescent = 0;
    std::wstring m_target;
    std::vector<HtmlLink> m_links;
};

}  // namespace

std::wstring TakeWord(const std::wstring& token, size_t& pos, bool* lineBreak)
{
    std::wstring word;
    *lineBreak = false;
    while (pos < token.size()) {
        const wchar_t c = token[pos++];
        if (c == L'\r')
            continue;
        if (c == L'\n') {
            word += L' ';
            *lineBreak = true;
            break;
        }
        if (c == kEntityMark) {
            // A mark cut off from its code at the end of a token shows as a space.
            word += pos < token.size() ? EntityCharacter(token[pos++]) : L' ';
            continue;
        }
        word += c;
        if (c == L' ')
            break;
    }
    return word;
}

int DrawWrappedText(HtmlCanvas& canvas, const std::wstring& token, RECT& layout, int penX, int& penY)
{
    if (layout.top >= layout.bottom - 1)
        return 0;
    canvas.ResetJustification();
    std::wstring line;
    size_t pos = 0;
    int result = 0;
    LONG lastHeight = 0;
    bool measured = false;
    do {
        // A line never starts with spaces.
        while (pos < token.size() && token[pos] == L' ') {
            if (penX != 0)
                line += L' ';
            ++pos;
        }
        for (;;) {
            const size_t wordStart = pos;
            bool lineBreak = false;
            const std::wstring word = TakeWord(token, pos, &lineBreak);
            bool fits = true;
            if (canvas.Measure(line + word).cx < layout.right - penX - 2) {
                line += word;
            } else if (line.empty() && penX > 0 && !lineBreak) {
                // A token that starts further along a line wraps its first
                // word like any other, instead of running off the edge.
                penY += canvas.Measure(word).cy;
                penX = 0;
                pos = wordStart;
                if (penY >= layout.bottom)
                    break;
                continue;
            } else if (line.empty()) {
                line = word;  // too wide for any line: alone, clipped at the edge
            } else {
                fits = false;
            }
            if (!lineBreak && fits && pos < token.size())
                continue;
            if (line.empty())
                break;
            if (!fits)
                pos = wordStart;  // it starts the next line
            const SIZE extent = canvas.Measure(line);
            measured = true;
            lastHeight = extent.cy;
            result = layout.left + penX + extent.cx;
            if (penY <= layout.bottom - extent.cy) {
                canvas.DrawText(layout.left + penX, penY, line);
                if (pos < token.size() || lineBreak)
                    penY += extent.cy;
            }
            penX = 0;
            line.clear();
            if (pos >= token.size() || penY >= layout.bottom)
                break;
        }
    } while (pos < token.size() && penY < layout.bottom);
    layout.top = penY > layout.bottom - lastHeight ? layout.bottom : penY;
    return measured ? result : 0;
}

std::vector<HtmlLink> LayOutHtml(HtmlCanvas& canvas, const std::wstring& markup, const RECT& client,
                                 const LOGFONTW& windowFont, COLORREF textColor, COLORREF backgroundColor,
                                 HtmlDrawState& state)
{
    return Painter(canvas, client, windowFont, textColor, backgroundColor, state).Run(markup);
}
