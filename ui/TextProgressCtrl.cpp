#include "ui/TextProgressCtrl.h"

#include <cmath>

#include "framework/MemDC.h"

namespace {

// Truncates toward zero, keeping values far outside the range of an int
// (a position far beyond the maximum) from overflowing the conversion.
int TruncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value > 1e9)
        return 1000000000;
    if (value < -1e9)
        return -1000000000;
    return static_cast<int>(value);
}

// The region's coordinates are device units of the memory context, whose
// origin sits at the top-left corner of the area it covers.
void ClipToLogicalRect(HDC hdc, const CRect& rcLogical)
{
    CRect rc = rcLogical;
    ::LPtoDP(hdc, reinterpret_cast<POINT*>(&rc), 2);
    CRgn region;
    region.CreateRectRgnIndirect(&rc);
    ::SelectClipRgn(hdc, region);
}

}  // namespace

CTextProgressCtrl::~CTextProgressCtrl() = default;

const MessageMap* CTextProgressCtrl::Map()
{
    static const MessageMap map(CProgressCtrl::Map(), {
        OnMessage(PBM_SETRANGE, &CTextProgressCtrl::OnSetRange),
        OnMessage(PBM_SETPOS, &CTextProgressCtrl::OnSetPos),
        OnMessage(PBM_DELTAPOS, &CTextProgressCtrl::OnDeltaPos),
        OnMessage(PBM_SETSTEP, &CTextProgressCtrl::OnSetStep),
        OnMessage(PBM_STEPIT, &CTextProgressCtrl::OnStepIt),
        OnMessage(PBM_SETRANGE32, &CTextProgressCtrl::OnSetRange32),
        OnMessage(PBM_GETRANGE, &CTextProgressCtrl::OnGetRange),
        OnMessage(PBM_GETPOS, &CTextProgressCtrl::OnGetPos),
        OnMessage(PBM_SETBARCOLOR, &CTextProgressCtrl::OnSetBarColor),
        OnMessage(PBM_SETBKCOLOR, &CTextProgressCtrl::OnSetBkColor),
        OnMessage(TPCM_SETTEXTCOLOR, &CTextProgressCtrl::OnSetTextColor),
        OnMessage(TPCM_SHOWTEXT, &CTextProgressCtrl::OnShowText),
        OnMessage(WM_SETTEXT, &CTextProgressCtrl::OnSetText),
        OnMessage(WM_GETTEXT, &CTextProgressCtrl::OnGetText),
        OnMessage(WM_SIZE, &CTextProgressCtrl::OnSize),
        OnMessage(WM_ERASEBKGND, &CTextProgressCtrl::OnEraseBkgnd),
        OnMessage(WM_PAINT, &CTextProgressCtrl::OnPaint),
    });
    return &map;
}

void CTextProgressCtrl::InvalidateIfWindow() const
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

COLORREF CTextProgressCtrl::ReplaceColor(COLORREF& slot, COLORREF color)
{
    InvalidateIfWindow();
    const COLORREF old = slot;
    slot = color;
    return old;
}

COLORREF CTextProgressCtrl::ChangeBarColor(COLORREF color) { return ReplaceColor(m_crBar, color); }

COLORREF CTextProgressCtrl::ChangeBkColor(COLORREF color) { return ReplaceColor(m_crBk, color); }

COLORREF CTextProgressCtrl::ChangeTextColor(COLORREF color) { return ReplaceColor(m_crText, color); }

void CTextProgressCtrl::ChangeShowText(BOOL show)
{
    if (show != m_bShowText)
        InvalidateIfWindow();
    m_bShowText = show;
}

LRESULT CTextProgressCtrl::OnSetRange(WPARAM, LPARAM lParam)
{
    m_nMin = LOWORD(lParam);
    m_nMax = HIWORD(lParam);
    return MAKELRESULT(LOWORD(m_nMin), LOWORD(m_nMax));
}

LRESULT CTextProgressCtrl::OnSetRange32(WPARAM wParam, LPARAM lParam)
{
    m_nMin = static_cast<int>(wParam);
    m_nMax = static_cast<int>(lParam);
    return MAKELRESULT(LOWORD(m_nMin), LOWORD(m_nMax));
}

LRESULT CTextProgressCtrl::OnSetPos(WPARAM wParam, LPARAM)
{
    if (!m_hWnd || !::IsWindow(m_hWnd))
        return -1;
    const int oldPos = m_nPos;
    m_nPos = static_cast<int>(wParam);

    CRect rc;
    GetClientRect(&rc);
    // An empty range has no bar (and paints nothing); never divide by zero.
    const double range = static_cast<double>(m_nMax) - m_nMin;
    const double fraction = range != 0.0 ? (static_cast<double>(m_nPos) - m_nMin) / range : 0.0;
    const int extent = TruncToInt(fraction * (rc.right - rc.left));
    // Only a change of at least one pixel is worth a repaint; that keeps the
    // bar from flickering while an upload reports many times a second.
    if (extent != m_nBarWidth) {
        m_nBarWidth = extent;
        RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return oldPos;
}

LRESULT CTextProgressCtrl::OnDeltaPos(WPARAM wParam, LPARAM)
{
    return SendMessage(PBM_SETPOS, static_cast<WPARAM>(m_nPos + static_cast<int>(wParam)));
}

LRESULT CTextProgressCtrl::OnSetStep(WPARAM wParam, LPARAM)
{
    const int old = m_nStepSize;
    m_nStepSize = static_cast<int>(wParam);
    return old;
}

LRESULT CTextProgressCtrl::OnStepIt(WPARAM, LPARAM)
{
    return SendMessage(PBM_SETPOS, static_cast<WPARAM>(m_nPos + m_nStepSize));
}

LRESULT CTextProgressCtrl::OnGetRange(WPARAM wParam, LPARAM lParam)
{
    if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) {
        range->iLow = m_nMin;
        range->iHigh = m_nMax;
    }
    return wParam ? m_nMin : m_nMax;
}

LRESULT CTextProgressCtrl::OnGetPos(WPARAM, LPARAM) { return m_nPos; }

LRESULT CTextProgressCtrl::OnSetBarColor(WPARAM, LPARAM lParam)
{
    return static_cast<LRESULT>(ChangeBarColor(static_cast<COLORREF>(lParam)));
}

LRESULT CTextProgressCtrl::OnSetBkColor(WPARAM, LPARAM lParam)
{
    return static_cast<LRESULT>(ChangeBkColor(static_cast<COLORREF>(lParam)));
}

LRESULT CTextProgressCtrl::OnSetTextColor(WPARAM, LPARAM lParam)
{
    return static_cast<LRESULT>(ChangeTextColor(static_cast<COLORREF>(lParam)));
}

LRESULT CTextProgressCtrl::OnShowText(WPARAM wParam, LPARAM)
{
    const LRESULT result = Default();
    ChangeShowText(static_cast<BOOL>(wParam));
    return result;
}

LRESULT CTextProgressCtrl::OnSetText(WPARAM, LPARAM lParam)
{
    // The window keeps its own text too, so WM_GETTEXTLENGTH agrees.
    const LRESULT result = Default();
    const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
    const CString newText(text ? text : L"");
    if (!(newText == m_strText)) {
        m_strText = newText;
        InvalidateIfWindow();
    }
    return result;
}

LRESULT CTextProgressCtrl::OnGetText(WPARAM wParam, LPARAM lParam)
{
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    const int size = static_cast<int>(wParam);
    if (!buffer || size <= 0)
        return 0;
    // As much as fits, always terminated.
    int count = m_strText.GetLength();
    if (count > size - 1)
        count = size - 1;
    ::CopyMemory(buffer, m_strText.GetString(), static_cast<size_t>(count) * sizeof(wchar_t));
    buffer[count] = L'\0';
    return count;
}

LRESULT CTextProgressCtrl::OnSize(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    m_nBarWidth = -1;
    return result;
}

LRESULT CTextProgressCtrl::OnEraseBkgnd(WPARAM, LPARAM)
{
    return TRUE;  // painting covers every pixel
}

CString CTextProgressCtrl::DisplayText(double fraction) const
{
    if (!m_strText.IsEmpty())
        return m_strText;
    CString percent;
    percent.Format(L"%d%%", TruncToInt(fraction * 100.0));
    return percent;
}

LRESULT CTextProgressCtrl::OnPaint(WPARAM, LPARAM)
{
    CPaintDC paintDC(m_hWnd);
    if (m_nMin >= m_nMax)
        return 0;

    const COLORREF crBar = m_crBar == CLR_DEFAULT ? ::GetSysColor(COLOR_HIGHLIGHT) : m_crBar;
    const COLORREF crBk = m_crBk == CLR_DEFAULT ? ::GetSysColor(COLOR_WINDOW) : m_crBk;

    CRect rcClient;
    GetClientRect(&rcClient);
    const double fraction =
        (static_cast<double>(m_nPos) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);

    COrvoCaptureMemDC dc(&paintDC);
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(m_hWnd), WM_GETFONT, 0, 0));
    CSelection fontSelection(dc, font ? static_cast<HGDIOBJ>(font) : ::GetCurrentObject(dc, OBJ_FONT));

    // A position outside the range puts the edge at the nearer end.
    const double clamped = fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);
    CRect rcBar = rcClient;
    CRect rcRest = rcClient;
    const bool vertical = (GetStyle() & PBS_VERTICAL) != 0;
    if (vertical) {
        const int split = rcClient.bottom - TruncToInt((rcClient.bottom - rcClient.top) * clamped);
        rcBar.top = split;
        rcRest.bottom = split;
    } else {
        const int split = rcClient.left + TruncToInt((rcClient.right - rcClient.left) * clamped);
        rcBar.right = split;
        rcRest.left = split;
    }
    dc.FillSolidRect(rcBar, crBar);
    dc.FillSolidRect(rcRest, crBk);

    if (m_bShowText && !vertical) {
        const CString text = DisplayText(fraction);
        ::SetBkMode(dc, TRANSPARENT);
        CRect rcText = rcClient;
        rcText.right -= 4;

        ClipToLogicalRect(dc, rcBar);
        ::SetTextColor(dc, m_crText == CLR_DEFAULT ? crBk : m_crText);
        ::DrawTextW(dc, text, -1, &rcText, m_dwTextStyle);

        ClipToLogicalRect(dc, rcRest);
        ::SetTextColor(dc, m_crText == CLR_DEFAULT ? crBar : m_crText);
        ::DrawTextW(dc, text, -1, &rcText, m_dwTextStyle);
        ::SelectClipRgn(dc, nullptr);
    }
    return 0;
}
