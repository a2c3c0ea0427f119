#include "ui/XHTMLStatic.h"

#include "ui/HtmlPaint.h"
#include "ui/LinkTarget.h"
#include "ui/NamedColors.h"

namespace {

constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT kHoverPeriodMs = 250;
constexpr UINT kTipTool = 1;

RECT ClientToScreenRect(HWND hwnd, RECT rc)
{
    ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

}  // namespace

HCURSOR LoadLinkCursor()
{
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = ::GetWindowsDirectoryW(dir, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const std::wstring viewer = std::wstring(dir) + L"\\winhlp32.exe";
        // Only its resources are wanted: it is mapped as data, never run.
        if (HMODULE module = ::LoadLibraryExW(viewer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            HCURSOR cursor = ::LoadCursorW(module, MAKEINTRESOURCEW(106));
            HCURSOR copy = cursor ? static_cast<HCURSOR>(::CopyIcon(cursor)) : nullptr;
            ::FreeLibrary(module);
            if (copy)
                return copy;
        }
    }
    HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    return hand ? static_cast<HCURSOR>(::CopyIcon(hand)) : nullptr;
}

CXHTMLStatic::CXHTMLStatic()
    : m_crBackground(::GetSysColor(COLOR_WINDOW)), m_crText(::GetSysColor(COLOR_WINDOWTEXT)),
      m_hLinkCursor(LoadLinkCursor())
{
}

CXHTMLStatic::~CXHTMLStatic()
{
    m_links.clear();
    if (m_hLinkCursor)
        ::DestroyCursor(m_hLinkCursor);
    m_tip.DestroyWindow();
}

const MessageMap* CXHTMLStatic::Map()
{
    static const MessageMap map(CStatic::Map(), {
        OnMessage(WM_PAINT, &CXHTMLStatic::OnPaint),
        OnMessage(WM_TIMER, &CXHTMLStatic::OnTimer),
        OnMessage(WM_SETCURSOR, &CXHTMLStatic::OnSetCursor),
        OnMessage(WM_DESTROY, &CXHTMLStatic::OnDestroy),
        OnReflectedCommand(STN_CLICKED, &CXHTMLStatic::OnClicked),
        OnReflectedMessage(WM_DRAWITEM, &CXHTMLStatic::OnDrawItem),
    });
    return &map;
}

void CXHTMLStatic::PreSubclassWindow()
{
    // Clicks arrive as STN_CLICKED only with SS_NOTIFY.
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(GetStyle() | SS_NOTIFY));
    const LOGFONTW font = WindowFontDescription(m_hWnd);
    m_font.CreateFontIndirect(&font);
}

COLORREF CXHTMLStatic::SetBackgroundColor(const wchar_t* color)
{
    return SetBackgroundColor(CXNamedColors(color).GetColor());
}

COLORREF CXHTMLStatic::SetBackgroundColor(COLORREF color)
{
    const COLORREF previous = m_crBackground;
    m_crBackground = color;
    return previous;
}

COLORREF CXHTMLStatic::SetForegroundColor(const wchar_t* color)
{
    return SetForegroundColor(CXNamedColors(color).GetColor());
}

COLORREF CXHTMLStatic::SetForegroundColor(COLORREF color)
{
    const COLORREF previous = m_crText;
    m_crText = color;
    return previous;
}

void CXHTMLStatic::DrawItem(const DRAWITEMSTRUCT*) { RedrawWindow(); }

LRESULT CXHTMLStatic::OnDrawItem(WPARAM, LPARAM lParam)
{
    DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return TRUE;
}

LRESULT CXHTMLStatic::OnPaint(WPARAM, LPARAM)
{
    CPaintDC dc(m_hWnd);
    CRect client;
    GetClientRect(&client);
    m_links.clear();
    m_links = PaintHtml(dc, client, GetWindowText().Str(), WindowFontDescription(m_hWnd), m_crText, m_crBackground,
                        m_state);
    if (!m_links.empty() && !m_bTimerRunning) {
        m_bTimerRunning = TRUE;
        ::SetTimer(m_hWnd, kHoverTimer, kHoverPeriodMs, nullptr);
    }
    return 0;
}

BOOL CXHTMLStatic::PreTranslateMessage(MSG* pMsg)
{
    EnsureLinkTip();
    m_tip.RelayEvent(pMsg);
    return CStatic::PreTranslateMessage(pMsg);
}

void CXHTMLStatic::EnsureLinkTip()
{
    if (m_tip.m_hWnd)
        return;
    m_tip.Create(this);
    m_tip.SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, 100);
    m_tip.Activate(TRUE);
    m_tip.SendMessage(TTM_SETMAXTIPWIDTH, 0, 400);
}

void CXHTMLStatic::ShowLinkTip(const wchar_t* text)
{
    EnsureLinkTip();
    m_tipText = text;
    if (m_tip.GetToolCount() == 0) {
        CRect client;
        GetClientRect(&client);
        m_tip.AddTool(this, m_tipText.c_str(), client, kTipTool);
    }
    m_tip.UpdateTipText(m_tipText.c_str(), this, kTipTool);
    m_tip.Activate(TRUE);
}

LRESULT CXHTMLStatic::OnTimer(WPARAM, LPARAM)
{
    if (m_links.empty())
        return 0;
    POINT pt{};
    ::GetCursorPos(&pt);
    m_bOverLink = FALSE;
    for (const HtmlLink& link : m_links) {
        const RECT onScreen = ClientToScreenRect(m_hWnd, link.rect);
        if (!::PtInRect(&onScreen, pt) || !m_hLinkCursor)
            continue;
        HCURSOR previous = ::SetCursor(m_hLinkCursor);
        if (!m_hSavedCursor)
            m_hSavedCursor = previous;
        m_bOverLink = TRUE;
        ShowLinkTip((L"Go to: " + link.target).c_str());
        m_tip.SetToolRect(this, kTipTool, link.rect);
        break;
    }
    if (!m_bOverLink && m_hSavedCursor) {
        ::SetCursor(m_hSavedCursor);
        m_hSavedCursor = nullptr;
        RedrawWindow();
    }
    return Default();
}

LRESULT CXHTMLStatic::OnSetCursor(WPARAM, LPARAM)
{
    if (m_bOverLink)
        return FALSE;  // the hand set by the hover timer stays
    return Default();
}

void CXHTMLStatic::OnClicked()
{
    POINT pt{};
    ::GetCursorPos(&pt);
    for (const HtmlLink& link : m_links) {
        const RECT onScreen = ClientToScreenRect(m_hWnd, link.rect);
        if (::PtInRect(&onScreen, pt)) {
            OpenLinkTarget(link.target);
            return;
        }
    }
}

LRESULT CXHTMLStatic::OnDestroy(WPARAM, LPARAM)
{
    if (m_bTimerRunning) {
        ::KillTimer(m_hWnd, kHoverTimer);
        m_bTimerRunning = FALSE;
    }
    return Default();
}
