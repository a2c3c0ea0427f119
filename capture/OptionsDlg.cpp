#include "capture/OptionsDlg.h"

#include <windowsx.h>
#include <shlwapi.h>

#include "capture/CaptureGeometry.h"
#include "capture/CaptureSession.h"
#include "capture/OptionsLogic.h"
#include "framework/CFileDialog.h"
#include "res/resource.h"
#include "settings/FileNaming.h"
#include "settings/Settings.h"
#include "upload/UploadEndpoint.h"

namespace {

// The format radios in the order their enabled state is set.
constexpr int kFormatIds[] = {IDC_FORMAT_GIF, IDC_FORMAT_JPG_HIGH, IDC_FORMAT_JPG_LOW, IDC_FORMAT_JPG_MED,
                              IDC_FORMAT_PNG};

const wchar_t* SaveFilter(int format)
{
    switch (format) {
    case FormatJpgHigh:
    case FormatJpgMedium:
    case FormatJpgLow:
        return L"JPEG (*.jpg)|*.jpg|All Files (*.*)|*.*||";
    case FormatGif:
        return L"GIF (*.gif)|*.gif|All Files (*.*)|*.*||";
    case FormatPng:
        return L"PNG (*.png)|*.png|All Files (*.*)|*.*||";
    default:
        return L"";
    }
}

bool IsChecked(const CButton& button) { return button.GetCheck() == BST_CHECKED; }

// What lies under the magnifier until it first draws: the same hatch it
// shows beyond the image.
void FillMagnifierHatch(HDC dc, const CRect& rc)
{
    CBrush hatch;
    hatch.CreateHatchBrush(HS_BDIAGONAL, RGB(255, 0, 0));
    ::FillRect(dc, &rc, hatch);
}

// A control given the text it already shows does not paint again: the kept
// dialog then repaints only what a new capture changes.
void SetTextIfDifferent(const CWnd& control, const CString& text)
{
    if (control.GetWindowText() != text)
        control.SetWindowText(text);
}

MessageEntry OnMarkButtonClick(UINT id)
{
    return {MessageEntry::Kind::Command, WM_COMMAND, nullptr, id, BN_CLICKED, [](CWnd* w, WPARAM wp, LPARAM) {
                static_cast<COptionsDlg*>(w)->OnMarkButton(LOWORD(wp));
                return LRESULT(0);
            }};
}

}  // namespace

COptionsDlg::COptionsDlg(CaptureSession& session, OutputRunner output)
    : CDialog(IDD_OPTIONS), m_session(session), m_pfnOutput(output)
{
}

const MessageMap* COptionsDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnMessage(WM_CREATE, &COptionsDlg::OnCreate),
        OnCommand(IDOK, BN_CLICKED, &COptionsDlg::OnBnClickedOk),
        OnCommand(IDCANCEL, BN_CLICKED, &COptionsDlg::OnBnClickedCancel),
        OnMessage(WM_DESTROY, &COptionsDlg::OnDestroy),
        OnCommand(IDC_SAVE_TO_FILE, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_UPLOAD, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_CLIPBOARD, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_SELF_DESTRUCT, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_FORMAT_JPG_HIGH, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_FORMAT_JPG_MED, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_FORMAT_JPG_LOW, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_FORMAT_GIF, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_FORMAT_PNG, BN_CLICKED, &COptionsDlg::UpdateControls),
        OnCommand(IDC_BROWSE, BN_CLICKED, &COptionsDlg::OnBnClickedBrowse),
        OnCommand(IDC_AREA_FULLSCREEN, BN_CLICKED, &COptionsDlg::OnBnClickedFullscreen),
        OnCommand(IDC_AREA_WINDOW, BN_CLICKED, &COptionsDlg::OnBnClickedActiveWindow),
        OnCommand(IDC_MARK_AREA, BN_CLICKED, &COptionsDlg::OnBnClickedMarkArea),
        OnMessage(WM_LBUTTONDOWN, &COptionsDlg::OnLButtonDown),
        OnMessage(WM_MOUSEWHEEL, &COptionsDlg::OnMouseWheel),
        OnMessage(WM_PAINT, &COptionsDlg::OnPaint),
        OnMarkButtonClick(IDC_TOOL_ARROW), OnMarkButtonClick(IDC_TOOL_RECTANGLE), OnMarkButtonClick(IDC_TOOL_PEN),
        OnMarkButtonClick(IDC_TOOL_MARKER), OnMarkButtonClick(IDC_TOOL_TEXT), OnMarkButtonClick(IDC_TOOL_STEP),
        OnMarkButtonClick(IDC_TOOL_PIXELATE), OnMarkButtonClick(IDC_TOOL_REDACT),
        OnMarkButtonClick(IDC_COLOR_RED), OnMarkButtonClick(IDC_COLOR_YELLOW), OnMarkButtonClick(IDC_COLOR_GREEN),
        OnMarkButtonClick(IDC_COLOR_BLUE), OnMarkButtonClick(IDC_COLOR_BLACK), OnMarkButtonClick(IDC_COLOR_WHITE),
        OnMarkButtonClick(IDC_WIDTH_2), OnMarkButtonClick(IDC_WIDTH_4), OnMarkButtonClick(IDC_WIDTH_8),
        OnMarkButtonClick(IDC_UNDO), OnMarkButtonClick(IDC_REDO),
    });
    return &map;
}

void COptionsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SAVE_TO_FILE, m_btnSave);
    DDX_Control(pDX, IDC_UPLOAD, m_btnUpload);
    DDX_Control(pDX, IDC_FILENAME, m_editFilename);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_CLIPBOARD, m_btnClipboard);
    DDX_Control(pDX, IDC_DPI_SCALE, m_btnDpiScale);
    DDX_Control(pDX, IDC_SELF_DESTRUCT_TIME, m_comboSelfDestruct);
    DDX_Control(pDX, IDC_SELF_DESTRUCT, m_btnSelfDestruct);
    DDX_Control(pDX, IDC_MARK_AREA, m_btnMarkArea);
    DDX_Control(pDX, IDC_COLOR, m_staticColor);
    DDX_Control(pDX, IDC_MAGNIFIER, m_staticMagnifier);
}

LRESULT COptionsDlg::OnCreate(WPARAM, LPARAM)
{
    if (Default() == -1)
        return -1;
    PlaceFromStoredPosition();
    return 0;
}

void COptionsDlg::PlaceFromStoredPosition()
{
    WINDOWPLACEMENT current{};
    current.length = sizeof(current);
    ::GetWindowPlacement(m_hWnd, &current);
    WINDOWPLACEMENT stored{};
    if (!StoredPlacementToRestore(Settings::ReadString(Setting::WindowPosOptions), current, CurrentMonitorLayout(),
                                  &stored))
        CenterWindow();
    else if (!::EqualRect(&stored.rcNormalPosition, &current.rcNormalPosition) || stored.showCmd != current.showCmd)
        ::SetWindowPlacement(m_hWnd, &stored);
    // Else it is where the last capture left it: placing a window costs a
    // round trip to the window system even when it stays put.
}

void COptionsDlg::StorePlacement() const
{
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(m_hWnd, &wp);
    Settings::WriteString(Setting::WindowPosOptions, FormatWindowPos(wp));
}

BOOL COptionsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // What stays from capture to capture.
    m_staticMagnifier.MoveWindow(EvenEdges(MagnifierRectInClient()), TRUE);
    m_progress.ChangeShowText(TRUE);
    for (const SelfDestructTime* row = g_selfDestructTimes; row->label[0] != L'\0'; ++row)
        m_comboSelfDestruct.AddString(row->label);
    m_markDecor.Attach(m_hWnd);

    FillForNewCapture();
    return FALSE;  // the focus is set once the dialog shows
}

void COptionsDlg::FillForNewCapture()
{
    m_session.m_pwndMagnifier = &m_staticMagnifier;

    // An upload of the last capture left the bar shown and full.
    m_progress.ShowWindow(SW_HIDE);
    m_progress.SetPos(0);
    SetTextIfDifferent(m_progress, L"");

    m_strDir = Settings::ReadString(Setting::Dir);

    m_btnClipboard.SetCheck(Settings::IsOn(Setting::Clipboard) ? 1 : 0);
    m_btnSave.SetCheck(Settings::IsOn(Setting::Save) ? 1 : 0);
    m_btnUpload.SetCheck(Settings::IsOn(Setting::Upload) ? 1 : 0);
    SetTextIfDifferent(m_btnUpload, CString(L"Upload to ") + UploadEndpoint::Current().m_strHost + L" Image Hosting");

    CheckRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG, Settings::ReadInt(Setting::Format));
    // Offered once the format is known, so that the name is free in the
    // output directory with the extension it will be saved under.
    SetTextIfDifferent(m_editFilename, GetDefaultFileName(GetFormatExtension(), m_strDir));

    {
        CClientDC screen(nullptr);
        m_btnDpiScale.EnableWindow(::GetDeviceCaps(screen, LOGPIXELSX) != 96);
    }
    m_btnDpiScale.SetCheck(Settings::IsOn(Setting::DPIScale) ? 1 : 0);

    // Without a foreground window at the grab there is no window to offer:
    // an empty area then means the full screen, not that window.
    const bool areaIsWindow = !m_session.m_rcWindow.IsRectEmpty() && m_session.m_rcArea == m_session.m_rcWindow;
    CheckRadioButton(IDC_AREA_FULLSCREEN, IDC_AREA_CUSTOM, areaIsWindow ? IDC_AREA_WINDOW : IDC_AREA_FULLSCREEN);
    ::EnableWindow(GetDlgItem(IDC_AREA_WINDOW), !m_session.m_rcWindow.IsRectEmpty());

    // The mark row: no tool pressed, the remembered colour and width.
    ReleaseToolsExcept(0);
    MarkStyle& style = m_session.m_marks.style;
    const int colorId = ColorButtonId(static_cast<COLORREF>(Settings::ReadInt(Setting::MarkColor)));
    const int widthId = WidthButtonId(Settings::ReadInt(Setting::MarkWidth));
    CheckRadioButton(IDC_COLOR_RED, IDC_COLOR_WHITE, colorId);
    CheckRadioButton(IDC_WIDTH_2, IDC_WIDTH_8, widthId);
    style.color = FindMarkButton(colorId)->color;
    style.width = FindMarkButton(widthId)->width;
    {
        CClientDC screen(nullptr);
        style.dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    }

    m_btnMarkArea.SetCheck(BST_UNCHECKED);
    SetTextIfDifferent(m_staticColor, L"#FFAAFF ");

    // Unchecked at every opening: a self-destruct time is chosen per upload.
    m_btnSelfDestruct.SetCheck(BST_UNCHECKED);
    m_comboSelfDestruct.SelectString(-1, Settings::ReadString(Setting::SelfDestructTime));
    m_comboSelfDestruct.EnableWindow(FALSE);

    UpdateControls();
}

void COptionsDlg::FocusFileName()
{
    // The dialog manager's own focus move: it also makes OK the default
    // button again, whatever had the focus when the last capture ended.
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_editFilename.m_hWnd), TRUE);
    m_editFilename.SetSel(0, -1);
    m_editFilename.SendMessage(EM_SCROLLCARET);
}

void COptionsDlg::ShowForCapture(CDialog* captureWindow, CaptureSurface& surface)
{
    m_pSurface = &surface;
    if (!m_hWnd) {
        Create(IDD_OPTIONS, captureWindow);
    } else {
        // The kept window joins this capture's window, which owns it (and
        // keeps it above itself) until the capture ends.
        m_pParentWnd = captureWindow;
        ::SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(captureWindow->m_hWnd));
        Unpark();
        PlaceFromStoredPosition();
        // Only the controls this changes paint again.
        FillForNewCapture();
    }
    if (!IsWindowVisible())
        ShowWindow(SW_SHOWNORMAL);
    // The capture window showed without taking the keyboard: this dialog
    // takes it, whichever program had it at the hotkey.
    ::SetForegroundWindow(m_hWnd);
    // The file name has the keyboard, whatever had it when the last capture
    // ended.
    FocusFileName();
}

// Between captures the dialog keeps its window and what it has drawn, off
// the screen: an empty window region hides it from sight and from the mouse
// without discarding its pixels, so the next capture shows it at once and
// repaints only the controls that change. Disabled, it takes neither keys nor
// activation meanwhile.
void COptionsDlg::Park()
{
    // Disabling takes the focus and its caret away; then every pending
    // paint lands while the dialog can still be seen, so nothing stale
    // waits in its pixels. The magnifier shows its hatch again until the
    // next capture's first pointer move, as a new dialog does.
    EnableWindow(FALSE);
    {
        CClientDC dc(m_hWnd);
        FillMagnifierHatch(dc, MagnifierRectInClient());
    }
    RedrawWindow(RDW_UPDATENOW | RDW_ALLCHILDREN);
    CRgn nothing;
    const RECT empty{};
    nothing.CreateRectRgnIndirect(&empty);
    if (::SetWindowRgn(m_hWnd, nothing, FALSE))
        nothing.Detach();  // the window owns it now
    else
        ShowWindow(SW_HIDE);  // not shaped away: hidden instead, shown again at the next capture
    m_bParked = true;
}

void COptionsDlg::Unpark()
{
    // Without a redraw: the kept pixels are what the dialog looks like.
    ::SetWindowRgn(m_hWnd, nullptr, FALSE);
    m_bParked = false;
    EnableWindow(TRUE);
}

bool COptionsDlg::IsOnScreen() const { return m_hWnd && ::IsWindowVisible(m_hWnd) && !m_bParked; }

void COptionsDlg::EndCapture()
{
    m_session.m_pwndMagnifier = nullptr;
    m_pSurface = nullptr;
    StorePlacement();
    Park();
    // Owned by no window from now on, so the capture window's end does not
    // take this one with it.
    ::SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT, 0);
    if (auto* parent = dynamic_cast<CDialog*>(m_pParentWnd))
        parent->EndDialog(0);
}

CString COptionsDlg::GetFormatExtension() const
{
    return FormatExtension(GetCheckedRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG));
}

void COptionsDlg::UpdateControls()
{
    SetTextIfDifferent(m_editFilename, NormalizeFileName(m_editFilename.GetWindowText(), GetFormatExtension()));

    const bool editable = IsFileNameEditable(IsChecked(m_btnClipboard), IsChecked(m_btnSave), IsChecked(m_btnUpload));
    m_editFilename.EnableWindow(editable);
    for (int id : kFormatIds)
        ::EnableWindow(GetDlgItem(id), editable);

    m_btnSelfDestruct.EnableWindow(IsChecked(m_btnUpload));
    m_comboSelfDestruct.EnableWindow(::IsWindowEnabled(m_btnSelfDestruct) && IsChecked(m_btnSelfDestruct));
}

void COptionsDlg::OnBnClickedOk()
{
    // A text still being typed is part of the image.
    if (CaptureSurface* capture = m_pSurface)
        capture->EndMarkText();
    Settings::WriteInt(Setting::MarkColor, static_cast<int>(m_session.m_marks.style.color));
    Settings::WriteInt(Setting::MarkWidth, m_session.m_marks.style.width);
    OutputRequest request;
    request.fileName = m_editFilename.GetWindowText();
    request.format = GetCheckedRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG);
    request.copyToClipboard = IsChecked(m_btnClipboard);
    request.saveToFile = IsChecked(m_btnSave);
    request.upload = IsChecked(m_btnUpload);
    // The raw check state: it is what "DPIScale" keeps, and scaling changes
    // nothing at 96 DPI, the one screen on which the box is disabled.
    request.scaleToStandardDpi = IsChecked(m_btnDpiScale);
    request.areaMode = GetCheckedRadioButton(IDC_AREA_FULLSCREEN, IDC_AREA_CUSTOM);
    request.selfDestruct = IsChecked(m_btnSelfDestruct);
    request.selfDestructLabel = m_comboSelfDestruct.GetWindowText();
    request.outputDir = m_strDir;
    request.area = m_session.m_rcArea;
    if (m_pfnOutput)
        m_uploaded = m_pfnOutput(m_session, request, m_hWnd, m_progress);
    EndCapture();
}

void COptionsDlg::OnBnClickedCancel() { EndCapture(); }

LRESULT COptionsDlg::OnDestroy(WPARAM, LPARAM)
{
    if (m_session.m_pwndMagnifier == &m_staticMagnifier)
        m_session.m_pwndMagnifier = nullptr;
    m_markDecor.Release();
    // Destroyed during a capture, it keeps its place and takes the capture
    // with it. Between captures (at the program's end) it is parked, its
    // place kept when the last capture ended, and there is no loop to end.
    if (IsOnScreen())
        StorePlacement();
    if (auto* parent = dynamic_cast<CDialog*>(m_pParentWnd))
        parent->EndDialog(0);
    return Default();
}

void COptionsDlg::OnBnClickedBrowse()
{
    const CString ext = GetFormatExtension();
    const CString name = m_editFilename.GetWindowText();
    CFileDialog dlg(FALSE, ext, name, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_ENABLESIZING,
                    SaveFilter(GetCheckedRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG)), this);
    dlg.m_ofn.lpstrInitialDir = m_strDir.IsEmpty() ? nullptr : m_strDir.GetString();
    if (dlg.DoModal() != IDOK)
        return;
    m_editFilename.SetWindowText(dlg.GetFileName());
    std::wstring folder = dlg.GetPathName().Str();
    folder.push_back(L'\0');
    ::PathRemoveFileSpecW(&folder[0]);
    m_strDir = CString(folder.c_str());
}

void COptionsDlg::OnBnClickedFullscreen()
{
    m_session.SelectWholeImage();
    if (m_pParentWnd)
        m_pParentWnd->Invalidate(TRUE);
}

void COptionsDlg::OnBnClickedActiveWindow()
{
    m_session.SelectWindow();
    if (m_pParentWnd)
        m_pParentWnd->Invalidate(TRUE);
}

void COptionsDlg::OnBnClickedMarkArea()
{
    m_session.m_bMarkMode = m_btnMarkArea.GetCheck() == 1;
    if (m_session.m_bMarkMode) {
        ReleaseToolsExcept(0);
        if (CaptureSurface* capture = m_pSurface)
            capture->SetMarkTool(MarkTool::None);
    }
}

void COptionsDlg::ReleaseToolsExcept(int id)
{
    for (const MarkButton& b : kMarkToolButtons)
        if (b.id != id)
            ::SendMessageW(GetDlgItem(b.id), BM_SETCHECK, BST_UNCHECKED, 0);
}

void COptionsDlg::OnMarkButton(int id)
{
    CaptureSurface* capture = m_pSurface;
    const MarkButton* button = FindMarkButton(id);
    if (!capture || !button)
        return;
    MarkStyle& style = m_session.m_marks.style;
    if (id == IDC_UNDO) {
        capture->UndoMark();
    } else if (id == IDC_REDO) {
        capture->RedoMark();
    } else if (button->tool != MarkTool::None) {
        // One tool at a time; pressed again, it goes back to selecting the area.
        const bool pressed = ::SendMessageW(GetDlgItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
        ReleaseToolsExcept(id);
        if (pressed) {
            m_btnMarkArea.SetCheck(BST_UNCHECKED);
            m_session.m_bMarkMode = FALSE;
        }
        capture->SetMarkTool(pressed ? button->tool : MarkTool::None);
    } else if (button->width) {
        style.width = button->width;
    } else {
        style.color = button->color;
    }
}

BOOL COptionsDlg::PreTranslateMessage(MSG* pMsg)
{
    CaptureSurface* capture = m_pSurface;
    if (capture && capture->TakeTextKey(pMsg))
        return TRUE;
    if (capture && pMsg->message == WM_KEYDOWN && (pMsg->wParam == 'Z' || pMsg->wParam == 'Y') &&
        ::GetKeyState(VK_CONTROL) < 0 && ::GetKeyState(VK_MENU) >= 0 && ::GetFocus() != m_editFilename.m_hWnd) {
        if (pMsg->wParam == 'Z')
            capture->UndoMark();
        else
            capture->RedoMark();
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

LRESULT COptionsDlg::OnLButtonDown(WPARAM, LPARAM lParam)
{
    const LRESULT result = Default();
    // A press on the free surface moves the dialog as its title bar would.
    // The message carries screen coordinates.
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &pt);
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
    return result;
}

LRESULT COptionsDlg::OnMouseWheel(WPARAM wParam, LPARAM lParam)
{
    if (!m_pSurface || !m_pParentWnd || !m_pParentWnd->m_hWnd)
        return Default();
    m_session.m_dZoom = ZoomAfterWheel(m_session.m_dZoom, GET_WHEEL_DELTA_WPARAM(wParam));
    m_pSurface->UpdateMagnifier();
    return m_pParentWnd->DefWindowProc(WM_MOUSEWHEEL, wParam, lParam);
}

CRect COptionsDlg::MagnifierRectInClient() const
{
    CRect rc;
    ::GetWindowRect(GetDlgItem(IDC_MAGNIFIER), &rc);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

LRESULT COptionsDlg::OnPaint(WPARAM, LPARAM)
{
    CPaintDC dc(m_hWnd);
    // Under the magnifier: the same hatch the magnifier shows beyond the image.
    FillMagnifierHatch(dc, MagnifierRectInClient());
    return 0;
}
