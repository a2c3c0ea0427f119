// A static control that shows its window text as a small subset of HTML,
// word-wrapped, with hyperlinks that show a hand and a "Go to: " tip under
// the pointer and open their target when clicked.
#pragma once

#include "framework/Controls.h"
#include "framework/Gdi.h"
#include "ui/HtmlLayout.h"

class CXHTMLStatic : public CStatic {
public:
    CXHTMLStatic();
    ~CXHTMLStatic() override;

    // Each returns the previous colour; none repaints.
    virtual COLORREF SetBackgroundColor(const wchar_t* color);
    virtual COLORREF SetBackgroundColor(COLORREF color);
    virtual COLORREF SetForegroundColor(const wchar_t* color);
    virtual COLORREF SetForegroundColor(COLORREF color);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

    // Redraws the whole control at once (owner-drawn statics only).
    void DrawItem(const DRAWITEMSTRUCT* pDrawItem);

    // The links the last paint drew, in client coordinates.
    const std::vector<HtmlLink>& Links() const { return m_links; }
    const HtmlDrawState& DrawState() const { return m_state; }
    HCURSOR LinkCursor() const { return m_hLinkCursor; }
    bool IsPointerOverLink() const { return m_bOverLink != FALSE; }
    bool IsHoverTimerRunning() const { return m_bTimerRunning != FALSE; }
    CToolTipCtrl& LinkTip() { return m_tip; }

protected:
    void PreSubclassWindow() override;

private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnDrawItem(WPARAM, LPARAM);
    void OnClicked();

    void EnsureLinkTip();
    void ShowLinkTip(const wchar_t* text);

    CToolTipCtrl m_tip;
    COLORREF m_crBackground;
    COLORREF m_crText;
    HtmlDrawState m_state;     // counters and rule thickness, kept across paints
    CFont m_font;              // the window's font as the control found it
    std::vector<HtmlLink> m_links;
    BOOL m_bTimerRunning = FALSE;
    BOOL m_bOverLink = FALSE;
    HCURSOR m_hLinkCursor = nullptr;
    HCURSOR m_hSavedCursor = nullptr;
    std::wstring m_tipText;    // the tip reads from here while it shows
};

// The help viewer's link cursor when the system has one, else a copy of the
// system's hand; the caller destroys it.
HCURSOR LoadLinkCursor();
