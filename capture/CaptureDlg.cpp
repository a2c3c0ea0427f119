#include "capture/CaptureDlg.h"

#include <windowsx.h>

#include "capture/CaptureGeometry.h"
#include "capture/CaptureSession.h"
#include "capture/MagnifierView.h"
#include "res/resource.h"

namespace {

// The window covers the virtual screen's size from the primary monitor's
// corner, so client, screen and image coordinates are the same.
CSize VirtualScreenSize()
{
    return CSize(::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

// Puts the options dialog back on top once an activation is over.
constexpr UINT kRaiseOptionsMessage = WM_APP + 1;

}  // namespace

CCaptureDlg::CCaptureDlg(CaptureSession& session, OutputRunner output)
    : CDialog(IDD_CAPTURE), m_session(session), m_optionsDlg(session, output)
{
}

CString CCaptureDlg::Run()
{
    m_optionsDlg.m_strUploadUrl.Empty();
    DoModal();
    return m_optionsDlg.m_strUploadUrl;
}

const MessageMap* CCaptureDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnMessage(WM_SHOWWINDOW, &CCaptureDlg::OnShowWindow),
        OnMessage(WM_ERASEBKGND, &CCaptureDlg::OnEraseBkgnd),
        OnMessage(WM_PAINT, &CCaptureDlg::OnPaint),
        OnMessage(WM_LBUTTONDOWN, &CCaptureDlg::OnLButtonDown),
        OnMessage(WM_LBUTTONUP, &CCaptureDlg::OnLButtonUp),
        OnMessage(WM_MOUSEMOVE, &CCaptureDlg::OnMouseMove),
        OnMessage(WM_MOUSEACTIVATE, &CCaptureDlg::OnMouseActivate),
        OnMessage(WM_WINDOWPOSCHANGED, &CCaptureDlg::OnWindowPosChanged),
        OnMessage(kRaiseOptionsMessage, &CCaptureDlg::OnRaiseOptions),
        OnMessage(WM_ACTIVATE, &CCaptureDlg::OnActivate),
        OnMessage(WM_SETFOCUS, &CCaptureDlg::OnSetFocus),
        OnMessage(WM_MOUSEWHEEL, &CCaptureDlg::OnMouseWheel),
    });
    return &map;
}

void CCaptureDlg::DoDataExchange(CDataExchange*) {}

BOOL CCaptureDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The screen freezes first: this window shows and paints the frozen
    // image at once, before the options dialog's controls are made (the
    // slower part), and the dialog then shows on top of it.
    ShowWindow(SW_SHOWNORMAL);
    ::UpdateWindow(m_hWnd);
    m_optionsDlg.Create(IDD_OPTIONS, this);
    m_optionsDlg.ShowWindow(SW_SHOWNORMAL);
    return TRUE;
}

void CCaptureDlg::OnOK() {}

void CCaptureDlg::OnCancel() {}

LRESULT CCaptureDlg::OnShowWindow(WPARAM, LPARAM)
{
    const CSize screen = VirtualScreenSize();
    ::MoveWindow(m_hWnd, 0, 0, screen.cx, screen.cy, TRUE);
    ::SetForegroundWindow(m_hWnd);
    return Default();
}

LRESULT CCaptureDlg::OnMouseActivate(WPARAM, LPARAM)
{
    // A click on the image leaves the options dialog active: it keeps the
    // keyboard (Enter, Esc) and stays in sight. Activating this window
    // lets Wine, without a window manager, stack it over the dialog it owns
    // on the screen, leaving no visible way to finish the capture.
    return MA_NOACTIVATE;
}

LRESULT CCaptureDlg::OnWindowPosChanged(WPARAM, LPARAM lParam)
{
    const LRESULT result = Default();
    // When this window is shown or brought forward, the options dialog goes
    // back on top of it once that is over, for the same reason.
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
    if (m_optionsDlg.m_hWnd && (pos->flags & SWP_SHOWWINDOW || !(pos->flags & SWP_NOZORDER)))
        PostMessage(kRaiseOptionsMessage);
    return result;
}

LRESULT CCaptureDlg::OnRaiseOptions(WPARAM, LPARAM)
{
    if (m_optionsDlg.m_hWnd) {
        // Two real moves: a move to where the window list already has it
        // would change nothing on the screen.
        const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
        ::SetWindowPos(m_optionsDlg.m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, flags);
        ::SetWindowPos(m_optionsDlg.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, flags);
    }
    return 0;
}

LRESULT CCaptureDlg::OnActivate(WPARAM wParam, LPARAM)
{
    const LRESULT result = Default();
    // A dialog without controls is not always given the focus when it is
    // activated (Wine leaves it nowhere); take it, so it can go on to the
    // options dialog and keys reach a window.
    if (LOWORD(wParam) != WA_INACTIVE && !::GetFocus())
        ::SetFocus(m_hWnd);
    return result;
}

LRESULT CCaptureDlg::OnSetFocus(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    // The keyboard belongs to the options dialog, where Enter and Esc end
    // the capture. Clicks never activate this window (OnMouseActivate), so
    // any focus it gets comes from the window manager: with the first
    // showing, or later when a loaded machine delivers the X focus of the
    // new full-screen window late. Kept here, it would leave Esc dead.
    if (m_optionsDlg.m_hWnd && ::IsWindowEnabled(m_optionsDlg.m_hWnd))
        m_optionsDlg.SetFocus();
    return result;
}

void CCaptureDlg::DrawHighlight(CDC& dc) { DrawHighlightOutline(dc, m_session.m_rcHighlight); }

// The frozen image covers every pixel: a grey fill first would only cost
// time and could flash on the screen before the image.
LRESULT CCaptureDlg::OnEraseBkgnd(WPARAM, LPARAM) { return TRUE; }

LRESULT CCaptureDlg::OnPaint(WPARAM, LPARAM)
{
    const CSize screen = VirtualScreenSize();
    CPaintDC dc(m_hWnd);
    {
        CDC dcImage;
        dcImage.CreateCompatibleDC(dc);
        CSelection select(dcImage, m_session.m_bmpScreen);
        dc.BitBlt(0, 0, screen.cx, screen.cy, dcImage, 0, 0, SRCCOPY);
    }
    if (!m_session.m_rcArea.IsRectEmpty())
        ::InvertRect(dc, &m_session.m_rcArea);
    if (!m_session.m_rcHighlight.IsRectEmpty())
        DrawHighlight(dc);
    return 0;
}

LRESULT CCaptureDlg::OnLButtonDown(WPARAM, LPARAM lParam)
{
    ::ReleaseCapture();
    ::SetCapture(m_hWnd);
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &pt);
    m_rcDrag = CRect(pt.x, pt.y, pt.x, pt.y);
    return 0;
}

LRESULT CCaptureDlg::OnMouseMove(WPARAM, LPARAM lParam)
{
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    {
        // The colour of what the window shows: inside the area, the inverse.
        CClientDC dc(m_hWnd);
        const COLORREF color = ::GetPixel(dc, pt.x, pt.y);
        if (m_optionsDlg.m_staticColor.m_hWnd)
            m_optionsDlg.m_staticColor.SetWindowText(FormatColorReadout(color));

        if (::GetCapture() == m_hWnd) {
            // Focus rectangles are drawn exclusive-or: drawing the last one
            // again erases it, so exactly one is visible.
            const CRect previous = NormalizedRect(m_rcDrag);
            if (previous.Width() != 0 && previous.Height() != 0)
                ::DrawFocusRect(dc, &previous);
            POINT screenPt = pt;
            ::ClientToScreen(m_hWnd, &screenPt);
            m_rcDrag = DragAfterMove(m_rcDrag, screenPt);
            const CRect current = NormalizedRect(m_rcDrag);
            ::DrawFocusRect(dc, &current);
        }
    }
    if (m_session.m_pwndMagnifier && m_session.m_pwndMagnifier->IsWindowVisible())
        UpdateMagnifier();
    return 0;
}

LRESULT CCaptureDlg::OnLButtonUp(WPARAM, LPARAM)
{
    // A release whose press happened before this window took the mouse (the
    // button held through the hotkey) is no drag of this capture.
    if (::GetCapture() != m_hWnd)
        return 0;
    ::ReleaseCapture();
    m_rcDrag.NormalizeRect();
    Invalidate(FALSE);

    if (m_session.m_bMarkMode) {
        m_session.m_rcHighlight = m_rcDrag;
        m_optionsDlg.m_btnMarkArea.SetCheck(BST_UNCHECKED);
        m_session.m_bMarkMode = m_optionsDlg.m_btnMarkArea.GetCheck() == BST_CHECKED;
    } else {
        m_session.SelectArea(m_rcDrag);
        if (m_optionsDlg.m_hWnd)
            m_optionsDlg.CheckRadioButton(IDC_AREA_FULLSCREEN, IDC_AREA_CUSTOM,
                                          m_session.m_rcArea.IsRectEmpty() ? IDC_AREA_FULLSCREEN : IDC_AREA_CUSTOM);
    }
    return 0;
}

LRESULT CCaptureDlg::OnMouseWheel(WPARAM wParam, LPARAM)
{
    m_session.m_dZoom = ZoomAfterWheel(m_session.m_dZoom, GET_WHEEL_DELTA_WPARAM(wParam));
    UpdateMagnifier();
    return Default();
}

void CCaptureDlg::UpdateMagnifier()
{
    CWnd* magnifier = m_session.m_pwndMagnifier;
    if (!magnifier || !magnifier->m_hWnd)
        return;
    CRect rc;
    magnifier->GetClientRect(&rc);
    MagnifierScene scene;
    scene.image = m_session.m_bmpScreen;
    ::GetCursorPos(&scene.cursor);
    scene.zoom = m_session.m_dZoom;
    scene.area = m_session.m_rcArea;
    scene.highlight = m_session.m_rcHighlight;
    CClientDC dc(magnifier->m_hWnd);
    DrawMagnifierView(dc, rc.Width(), rc.Height(), scene);
}
