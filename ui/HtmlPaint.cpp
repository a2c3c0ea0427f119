#include "ui/HtmlPaint.h"

#include "framework/Gdi.h"

namespace {

class GdiCanvas : public HtmlCanvas {
public:
    explicit GdiCanvas(HDC dc) : m_dc(dc), m_original(::GetCurrentObject(dc, OBJ_FONT)) {}
    ~GdiCanvas() override { ::SelectObject(m_dc, m_original); }
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    void SelectFont(const LOGFONTW& font) override
    {
        // The new font goes in before the one it replaces is deleted.
        CFont next;
        next.CreateFontIndirect(&font);
        ::SelectObject(m_dc, next.GetSafeHandle() ? next.GetSafeHandle() : ::GetStockObject(SYSTEM_FONT));
        m_font.Attach(next.Detach());
    }
    TEXTMETRICW Metrics() override
    {
        TEXTMETRICW tm{};
        ::GetTextMetricsW(m_dc, &tm);
        return tm;
    }
    SIZE Measure(const std::wstring& text) override
    {
        SIZE size{0, 0};
        ::GetTextExtentPoint32W(m_dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }
    void SetColors(COLORREF text, COLORREF background) override
    {
        ::SetTextColor(m_dc, text);
        ::SetBkColor(m_dc, background);
        ::SetBkMode(m_dc, OPAQUE);
    }
    void ResetJustification() override { ::SetTextJustification(m_dc, 0, 0); }
    void DrawText(int x, int y, const std::wstring& text) override
    {
        ::TextOutW(m_dc, x, y, text.c_str(), static_cast<int>(text.size()));
    }
    void Fill(const RECT& rect, COLORREF color) override
    {
        CBrush brush(color);
        ::FillRect(m_dc, &rect, brush);
    }
    void DrawRule(int left, int right, int y, int thickness, COLORREF color) override
    {
        const RECT band{left, y, right, y + thickness};
        Fill(band, color);
    }

private:
    HDC m_dc;
    HGDIOBJ m_original;
    CFont m_font;  // the font selected now; replaced for every token
};

}  // namespace

std::vector<HtmlLink> PaintHtml(HDC dc, const RECT& client, const std::wstring& markup, const LOGFONTW& windowFont,
                                COLORREF textColor, COLORREF backgroundColor, HtmlDrawState& state)
{
    GdiCanvas canvas(dc);
    return LayOutHtml(canvas, markup, client, windowFont, textColor, backgroundColor, state);
}

LOGFONTW WindowFontDescription(HWND hwnd)
{
    HGDIOBJ font = hwnd ? reinterpret_cast<HGDIOBJ>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)) : nullptr;
    if (!font)
        font = ::GetStockObject(SYSTEM_FONT);
    LOGFONTW description{};
    ::GetObjectW(font, sizeof(description), &description);
    return description;
}
