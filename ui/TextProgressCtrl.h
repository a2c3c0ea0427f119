// A progress bar that paints itself: a solid bar, the rest in a second
// colour, and one line of text centred over both whose letters change colour
// exactly at the bar's edge. Without a text it shows the percentage done.
// It answers the standard progress bar messages itself and never lets the
// system control paint.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/Controls.h"

// Colour of the text on both sides of the edge; CLR_DEFAULT gives the inverse
// scheme (background colour over the bar, bar colour over the rest).
constexpr UINT TPCM_SETTEXTCOLOR = WM_USER + 100;
// wParam: whether any text is drawn.
constexpr UINT TPCM_SHOWTEXT = WM_USER + 101;

class CTextProgressCtrl : public CProgressCtrl {
public:
    CTextProgressCtrl() = default;
    ~CTextProgressCtrl() override;

    // The same as the matching messages, called directly; each returns the
    // previous colour.
    COLORREF ChangeBarColor(COLORREF color);
    COLORREF ChangeBkColor(COLORREF color);
    COLORREF ChangeTextColor(COLORREF color);
    void ChangeShowText(BOOL show);

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

private:
    // Invalidates, then stores the colour in its slot; returns the old one.
    COLORREF ReplaceColor(COLORREF& slot, COLORREF color);
    void InvalidateIfWindow() const;
    CString DisplayText(double fraction) const;

    LRESULT OnSetRange(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetPos(WPARAM wParam, LPARAM lParam);
    LRESULT OnDeltaPos(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetStep(WPARAM wParam, LPARAM lParam);
    LRESULT OnStepIt(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetRange32(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetRange(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetPos(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetBarColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetBkColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetTextColor(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowText(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetText(WPARAM wParam, LPARAM lParam);
    LRESULT OnSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);

    COLORREF m_crText = CLR_DEFAULT;
    int m_nPos = 0;
    int m_nStepSize = 1;
    int m_nMax = 100;
    int m_nMin = 0;
    CString m_strText;            // private copy of the last WM_SETTEXT
    BOOL m_bShowText = TRUE;
    int m_nBarWidth = -1;         // bar extent at the last repaint; -1 unknown
    COLORREF m_crBar = CLR_DEFAULT;
    COLORREF m_crBk = CLR_DEFAULT;
    UINT m_dwTextStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
};
