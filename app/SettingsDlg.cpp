#include "app/SettingsDlg.h"

#include <shlobj.h>

#include "app/FileNaming.h"
#include "app/Hotkeys.h"
#include "app/OrvoCaptureApp.h"
#include "res/resource.h"

namespace {

bool IsChecked(const CButton& button) { return button.GetCheck() == BST_CHECKED; }
int CheckState(const CButton& button) { return IsChecked(button) ? 1 : 0; }

// A flag shows as checked only when it is stored as exactly 1.
void ShowFlag(CButton& button, const wchar_t* value, int defaultValue)
{
    button.SetCheck(AfxGetApp()->GetProfileInt(L"", value, defaultValue) == 1 ? BST_CHECKED : BST_UNCHECKED);
}

// The shell's allocator frees what the folder picker returned.
void FreeItemList(LPITEMIDLIST list)
{
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
}

}  // namespace

CSettingsDlg::CSettingsDlg(CWnd*) : CDialog(IDD_SETTINGS) {}

const MessageMap* CSettingsDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnCommand(IDOK, BN_CLICKED, &CSettingsDlg::OnBnClickedOk),
        OnCommand(IDC_DEFAULT_NAME, EN_CHANGE, &CSettingsDlg::UpdateSample),
        OnCommand(IDC_RANDOMIZE, BN_CLICKED, &CSettingsDlg::UpdateSample),
        OnCommand(IDC_APPEND_SEQ, BN_CLICKED, &CSettingsDlg::UpdateSample),
        OnCommand(IDC_APPEND_DATE, BN_CLICKED, &CSettingsDlg::UpdateSample),
        OnCommand(IDC_APPEND_TIME, BN_CLICKED, &CSettingsDlg::UpdateSample),
        OnCommand(IDC_RESET_SEQ, BN_CLICKED, &CSettingsDlg::OnResetSeq),
        OnCommand(IDC_BROWSE_DIR, BN_CLICKED, &CSettingsDlg::OnBrowseDir),
    });
    return &map;
}

void CSettingsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DEFAULT_NAME, m_editDefaultName);
    DDX_Control(pDX, IDC_RANDOMIZE, m_btnRandomize);
    DDX_Control(pDX, IDC_APPEND_SEQ, m_btnAppendSeq);
    DDX_Control(pDX, IDC_APPEND_DATE, m_btnAppendDate);
    DDX_Control(pDX, IDC_APPEND_TIME, m_btnAppendTime);
    DDX_Control(pDX, IDC_SAMPLE_NAME, m_staticSample);
    DDX_Control(pDX, IDC_OUTPUT_DIR, m_editDir);
    DDX_Control(pDX, IDC_FS_SHIFT, m_btnFsShift);
    DDX_Control(pDX, IDC_FS_ALT, m_btnFsAlt);
    DDX_Control(pDX, IDC_FS_CONTROL, m_btnFsControl);
    DDX_Control(pDX, IDC_FS_KEY, m_comboFsKey);
    DDX_Control(pDX, IDC_W_SHIFT, m_btnWinShift);
    DDX_Control(pDX, IDC_W_ALT, m_btnWinAlt);
    DDX_Control(pDX, IDC_W_CONTROL, m_btnWinControl);
    DDX_Control(pDX, IDC_W_KEY, m_comboWinKey);
}

BOOL CSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CWinApp* app = AfxGetApp();

    for (int i = 0; g_keyCodes[i] != 0; ++i) {
        m_comboFsKey.AddString(g_keyNames[i]);
        m_comboWinKey.AddString(g_keyNames[i]);
    }

    m_editDefaultName.SetWindowText(app->GetProfileString(L"", L"Filename", L""));
    m_editDir.SetWindowText(app->GetProfileString(L"", L"Dir", L""));

    ShowFlag(m_btnRandomize, L"Randomize", 0);
    ShowFlag(m_btnAppendSeq, L"AppendSeq", 1);
    ShowFlag(m_btnAppendDate, L"AppendDate", 0);
    ShowFlag(m_btnAppendTime, L"AppendTime", 0);

    // A stored name of no key selects nothing. The platform's prefix match
    // would take an empty name for the first entry, so that one is left out.
    const CString fsKey = app->GetProfileString(L"", L"HotkeyFS", L"");
    const CString winKey = app->GetProfileString(L"", L"HotkeyW", L"");
    if (!fsKey.IsEmpty())
        m_comboFsKey.SelectString(-1, fsKey);
    if (!winKey.IsEmpty())
        m_comboWinKey.SelectString(-1, winKey);

    ShowFlag(m_btnFsAlt, L"HotkeyFSAlt", 0);
    ShowFlag(m_btnFsShift, L"HotkeyFSShift", 0);
    ShowFlag(m_btnFsControl, L"HotkeyFSControl", 0);
    ShowFlag(m_btnWinAlt, L"HotkeyWAlt", 0);
    ShowFlag(m_btnWinShift, L"HotkeyWShift", 0);
    ShowFlag(m_btnWinControl, L"HotkeyWControl", 0);

    UpdateSample();
    return TRUE;
}

void CSettingsDlg::UpdateSample()
{
    // Called by EN_CHANGE while the template's text is first set, before
    // every control is bound.
    if (!m_staticSample.m_hWnd || !m_btnRandomize.m_hWnd)
        return;
    CWinApp* app = AfxGetApp();
    const CString text = m_editDefaultName.GetWindowText();
    const int saved = static_cast<int>(app->GetProfileInt(L"", L"Seqnum", 1));
    const CString sample = BuildFileName(text, L"jpg", IsChecked(m_btnRandomize), IsChecked(m_btnAppendSeq),
                                         IsChecked(m_btnAppendDate), IsChecked(m_btnAppendTime));
    // The sample never uses up a number.
    app->WriteProfileInt(L"", L"Seqnum", saved);
    m_staticSample.SetWindowText(sample);
}

void CSettingsDlg::OnResetSeq()
{
    AfxGetApp()->WriteProfileInt(L"", L"Seqnum", 1);
    UpdateSample();
}

void CSettingsDlg::OnBrowseDir()
{
    CString path;
    BROWSEINFOW bi{};
    bi.lpszTitle = L"Pick a Directory";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    if (LPITEMIDLIST list = ::SHBrowseForFolderW(&bi)) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(list, buffer))
            path = buffer;
        FreeItemList(list);
    }
    if (!path.IsEmpty()) {
        AfxGetApp()->WriteProfileString(L"", L"Dir", path);
        m_editDir.SetWindowText(path);
    }
}

void CSettingsDlg::OnBnClickedOk()
{
    CWinApp* app = AfxGetApp();
    app->WriteProfileString(L"", L"Filename", m_editDefaultName.GetWindowText());
    app->WriteProfileString(L"", L"Dir", m_editDir.GetWindowText());
    app->WriteProfileInt(L"", L"Randomize", CheckState(m_btnRandomize));
    app->WriteProfileInt(L"", L"AppendSeq", CheckState(m_btnAppendSeq));
    app->WriteProfileInt(L"", L"AppendDate", CheckState(m_btnAppendDate));
    app->WriteProfileInt(L"", L"AppendTime", CheckState(m_btnAppendTime));
    app->WriteProfileInt(L"", L"HotkeyFSAlt", CheckState(m_btnFsAlt));
    app->WriteProfileInt(L"", L"HotkeyFSShift", CheckState(m_btnFsShift));
    app->WriteProfileInt(L"", L"HotkeyFSControl", CheckState(m_btnFsControl));
    // The selected name, or empty when nothing is selected.
    app->WriteProfileString(L"", L"HotkeyFS", m_comboFsKey.GetWindowText());
    app->WriteProfileInt(L"", L"HotkeyWAlt", CheckState(m_btnWinAlt));
    app->WriteProfileInt(L"", L"HotkeyWShift", CheckState(m_btnWinShift));
    app->WriteProfileInt(L"", L"HotkeyWControl", CheckState(m_btnWinControl));
    app->WriteProfileString(L"", L"HotkeyW", m_comboWinKey.GetWindowText());

    OrvoApp().RegisterHotkeys();
    CDialog::OnOK();
}
