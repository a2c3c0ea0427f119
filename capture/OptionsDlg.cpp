#include "capture/OptionsDlg.h"

#include <windowsx.h>
#include <shlwapi.h>

#include "capture/CaptureDlg.h"
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
    WINDOWPLACEMENT current{};
    current.length = sizeof(current);
    ::GetWindowPlacement(m_hWnd, &current);
    WINDOWPLACEMENT stored{};
    if (StoredPlacementToRestore(Settings::ReadString(Setting::WindowPosOptions), current,
                                 ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN),
                                 &stored)) {
        ::SetWindowPlacement(m_hWnd, &stored);
        return 0;
    }
    CenterWindow();
    return 0;
}

BOOL COptionsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    m_session.m_pwndMagnifier = &m_staticMagnifier;
    m_staticMagnifier.MoveWindow(EvenEdges(MagnifierRectInClient()), TRUE);

    m_progress.ChangeShowText(TRUE);
    m_progress.ShowWindow(SW_HIDE);

    m_strDir = Settings::ReadString(Setting::Dir);

    m_btnClipboard.SetCheck(Settings::IsOn(Setting::Clipboard) ? 1 : 0);
    m_btnSave.SetCheck(Settings::IsOn(Setting::Save) ? 1 : 0);
    m_btnUpload.SetCheck(Settings::IsOn(Setting::Upload) ? 1 : 0);
    m_btnUpload.SetWindowText(CString(L"Upload to ") + UploadEndpoint::Current().m_strHost + L" Image Hosting");

    CheckRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG, Settings::ReadInt(Setting::Format));
    // Offered once the format is known, so that the name is free in the
    // output directory with the extension it will be saved under.
    m_editFilename.SetWindowText(GetDefaultFileName(GetFormatExtension(), m_strDir));

    {
        CClientDC screen(nullptr);
        m_btnDpiScale.EnableWindow(::GetDeviceCaps(screen, LOGPIXELSX) != 96);
    }
    m_btnDpiScale.SetCheck(Settings::IsOn(Setting::DPIScale) ? 1 : 0);

    // Without a foreground window at the grab there is no window to offer:
    // an empty area then means the full screen, not that window.
    const bool areaIsWindow = !m_session.m_rcWindow.IsRectEmpty() && m_session.m_rcArea == m_session.m_rcWindow;
    CheckRadioButton(IDC_AREA_FULLSCREEN, IDC_AREA_CUSTOM, areaIsWindow ? IDC_AREA_WINDOW : IDC_AREA_FULLSCREEN);
    if (m_session.m_rcWindow.IsRectEmpty())
        ::EnableWindow(GetDlgItem(IDC_AREA_WINDOW), FALSE);

    m_editFilename.SetSel(0, -1);
    m_editFilename.SendMessage(EM_SCROLLCARET);
    m_editFilename.SetFocus();

    for (const SelfDestructTime* row = g_selfDestructTimes; row->label[0] != L'\0'; ++row)
        m_comboSelfDestruct.AddString(row->label);
    m_comboSelfDestruct.SelectString(-1, Settings::ReadString(Setting::SelfDestructTime));
    m_comboSelfDestruct.EnableWindow(FALSE);

    UpdateControls();
    return FALSE;  // the focus is set
}

CString COptionsDlg::GetFormatExtension() const
{
    return FormatExtension(GetCheckedRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG));
}

void COptionsDlg::UpdateControls()
{
    m_editFilename.SetWindowText(NormalizeFileName(m_editFilename.GetWindowText(), GetFormatExtension()));

    const bool editable = IsFileNameEditable(IsChecked(m_btnClipboard), IsChecked(m_btnSave), IsChecked(m_btnUpload));
    m_editFilename.EnableWindow(editable);
    for (int id : kFormatIds)
        ::EnableWindow(GetDlgItem(id), editable);

    m_btnSelfDestruct.EnableWindow(IsChecked(m_btnUpload));
    m_comboSelfDestruct.EnableWindow(::IsWindowEnabled(m_btnSelfDestruct) && IsChecked(m_btnSelfDestruct));
}

void COptionsDlg::OnBnClickedOk()
{
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
        m_strUploadUrl = m_pfnOutput(m_session, request, m_hWnd, m_progress);
    DestroyWindow();
}

void COptionsDlg::OnBnClickedCancel() { DestroyWindow(); }

LRESULT COptionsDlg::OnDestroy(WPARAM, LPARAM)
{
    m_session.m_pwndMagnifier = nullptr;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(m_hWnd, &wp);
    Settings::WriteString(Setting::WindowPosOptions, FormatWindowPos(wp));
    // The capture window lives exactly as long as this dialog.
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

void COptionsDlg::OnBnClickedMarkArea() { m_session.m_bMarkMode = m_btnMarkArea.GetCheck() == 1; }

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
    auto* capture = dynamic_cast<CCaptureDlg*>(m_pParentWnd);
    if (!capture || !capture->m_hWnd)
        return Default();
    m_session.m_dZoom = ZoomAfterWheel(m_session.m_dZoom, GET_WHEEL_DELTA_WPARAM(wParam));
    capture->UpdateMagnifier();
    return capture->DefWindowProc(WM_MOUSEWHEEL, wParam, lParam);
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
    CBrush hatch;
    hatch.CreateHatchBrush(HS_BDIAGONAL, RGB(255, 0, 0));
    const CRect rc = MagnifierRectInClient();
    ::FillRect(dc, &rc, hatch);
    return 0;
}
