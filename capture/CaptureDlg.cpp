#include "capture/CaptureDlg.h"

#include <windowsx.h>

#include "capture/CaptureGeometry.h"
#include "capture/CaptureScene.h"
#include "capture/CaptureSession.h"
#include "capture/MagnifierView.h"
#include "res/resource.h"

namespace {

// Puts the options dialog back on top once an activation is over.
constexpr UINT kRaiseOptionsMessage = WM_APP + 1;

}  // namespace

CCaptureDlg::CCaptureDlg(CaptureSession& session, OutputRunner output)
    : CDialog(IDD_CAPTURE), m_session(session), m_optionsDlg(session, output)
{
}

UploadedImage CCaptureDlg::Run()
{
    m_optionsDlg.m_uploaded = UploadedImage();
    DoModal();
    return m_optionsDlg.m_uploaded;
}

const MessageMap* CCaptureDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
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
    m_markEditor.Begin(m_session.m_marks);
    // The screen freezes first: this window shows and paints the frozen
    // image at once, over the image's place on the desktop (its client
    // coordinates are then image coordinates), and the options dialog then
    // shows on top of it. It goes in below the parked dialog, which need not
    // be raised over it (a raise would make it paint again), and it is not
    // activated: the dialog takes the keyboard, and under Wine each
    // activation waits on the window system.
    const VirtualScreen& screen = m_session.m_screen;
    HWND below = m_optionsDlg.m_hWnd;
    ::SetWindowPos(m_hWnd, below, screen.origin.x, screen.origin.y, screen.size.cx, screen.size.cy,
                   SWP_SHOWWINDOW | SWP_NOACTIVATE | (below ? 0 : SWP_NOZORDER));
    ::UpdateWindow(m_hWnd);
    m_optionsDlg.ShowForCapture(this, *this);
    // The focus stays with the dialog: given to this window, it would
    // activate it only to hand the keyboard straight back.
    return FALSE;
}

void CCaptureDlg::OnOK() {}

void CCaptureDlg::OnCancel() {}

CPoint CCaptureDlg::ImagePoint(LPARAM lParam) const
{
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &pt);
    return ScreenToImage(m_session.m_screen, pt);
}

// The options dialog outlives the capture, parked: only a shown one counts.
bool CCaptureDlg::OptionsShown() const
{
    return m_optionsDlg.IsOnScreen();
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
    if (OptionsShown() && (pos->flags & SWP_SHOWWINDOW || !(pos->flags & SWP_NOZORDER)))
        PostMessage(kRaiseOptionsMessage);
    return result;
}

LRESULT CCaptureDlg::OnRaiseOptions(WPARAM, LPARAM)
{
    if (OptionsShown()) {
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
    if (OptionsShown() && ::IsWindowEnabled(m_optionsDlg.m_hWnd))
        m_optionsDlg.SetFocus();
    return result;
}

void CCaptureDlg::DrawHighlight(CDC& dc) { DrawHighlightOutline(dc, m_session.m_rcHighlight); }

// The frozen image covers every pixel: a grey fill first would only cost
// time and could flash on the screen before the image.
LRESULT CCaptureDlg::OnEraseBkgnd(WPARAM, LPARAM) { return TRUE; }

LRESULT CCaptureDlg::OnPaint(WPARAM, LPARAM)
{
    CPaintDC dc(m_hWnd);
    CDC dcImage;
    dcImage.CreateCompatibleDC(dc);
    CSelection select(dcImage, m_session.m_bmpScreen);
    CaptureScene scene;
    scene.image = dcImage;
    scene.area = m_session.m_rcArea;
    scene.highlight = m_session.m_rcHighlight;
    scene.marks = &m_session.m_marks.list.Marks();
    scene.pending = m_markEditor.Pending();
    // Only what changed is painted again: a move while drawing repaints the
    // piece of the mark it added, not the screen.
    PaintCaptureScene(dc, scene, dc.m_ps.rcPaint);
    return 0;
}

void CCaptureDlg::InvalidateImageRect(const CRect& rc)
{
    if (!rc.IsRectEmpty() && m_hWnd) {
        CRect client = ImageToScreen(m_session.m_screen, rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&client), 2);
        ::InvalidateRect(m_hWnd, &client, FALSE);
    }
}

void CCaptureDlg::SetMarkTool(MarkTool tool)
{
    InvalidateImageRect(m_markEditor.EndText());
    m_session.m_marks.tool = tool;
}

void CCaptureDlg::UndoMark() { InvalidateImageRect(m_markEditor.Undo()); }

void CCaptureDlg::RedoMark() { InvalidateImageRect(m_markEditor.Redo()); }

void CCaptureDlg::EndMarkText() { InvalidateImageRect(m_markEditor.EndText()); }

bool CCaptureDlg::TakeTextKey(MSG* msg)
{
    if (!m_markEditor.IsTyping())
        return false;
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wParam) {
        case VK_RETURN:
            InvalidateImageRect(m_markEditor.EndText());
            return true;
        case VK_ESCAPE:
            InvalidateImageRect(m_markEditor.CancelText());
            return true;
        case VK_BACK:
            InvalidateImageRect(m_markEditor.Backspace());
            return true;
        default:
            // The characters come as WM_CHAR, made here because the key
            // itself goes no further.
            ::TranslateMessage(msg);
            return true;
        }
    }
    if (msg->message == WM_CHAR) {
        if (msg->wParam >= L' ')
            InvalidateImageRect(m_markEditor.Type(static_cast<wchar_t>(msg->wParam)));
        return true;
    }
    return false;
}

LRESULT CCaptureDlg::OnLButtonDown(WPARAM, LPARAM lParam)
{
    if (m_session.m_marks.tool != MarkTool::None) {
        BITMAP info{};
        m_session.m_bmpScreen.GetBitmap(&info);
        CDC dcImage;
        dcImage.CreateCompatibleDC(nullptr);
        CSelection select(dcImage, m_session.m_bmpScreen);
        InvalidateImageRect(m_markEditor.Press(ImagePoint(lParam),
                                               dcImage, CSize(info.bmWidth, info.bmHeight)));
        if (m_markEditor.IsDragging()) {
            ::ReleaseCapture();
            ::SetCapture(m_hWnd);
        }
        return 0;
    }
    InvalidateImageRect(m_markEditor.EndText());
    ::ReleaseCapture();
    ::SetCapture(m_hWnd);
    const CPoint pt = ImagePoint(lParam);
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
        // Not once the dialog has gone: it keeps its pixels for the next capture.
        if (OptionsShown())
            m_optionsDlg.m_staticColor.SetWindowText(FormatColorReadout(color));

        if (::GetCapture() == m_hWnd && m_markEditor.IsDragging()) {
            InvalidateImageRect(m_markEditor.Move(ImagePoint(lParam)));
        } else if (::GetCapture() == m_hWnd) {
            // Focus rectangles are drawn exclusive-or: drawing the last one
            // again erases it, so exactly one is visible.
            const CRect previous = NormalizedRect(m_rcDrag);
            if (previous.Width() != 0 && previous.Height() != 0)
                ::DrawFocusRect(dc, &previous);
            m_rcDrag = DragAfterMove(m_rcDrag, ImagePoint(lParam));
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
    if (m_markEditor.IsDragging()) {
        // The mark ends where the last move put it, as the area does.
        InvalidateImageRect(m_markEditor.Release());
        return 0;
    }
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
    POINT cursor{};
    ::GetCursorPos(&cursor);
    scene.cursor = ScreenToImage(m_session.m_screen, cursor);
    scene.zoom = m_session.m_dZoom;
    scene.area = m_session.m_rcArea;
    scene.highlight = m_session.m_rcHighlight;
    scene.marks = &m_session.m_marks.list.Marks();
    scene.pending = m_markEditor.Pending();
    CClientDC dc(magnifier->m_hWnd);
    DrawMagnifierView(dc, rc.Width(), rc.Height(), scene);
}
