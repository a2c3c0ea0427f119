#include "app/SettingsDlg.h"

#include <shlobj.h>

#include "app/Hotkeys.h"
#include "app/OrvoCaptureApp.h"
#include "res/resource.h"
#include "settings/FileNaming.h"
#include "settings/Settings.h"

namespace {

bool IsChecked(const CButton& button) { return button.GetCheck() == BST_CHECKED; }
int CheckState(const CButton& button) { return IsChecked(button) ? 1 : 0; }

// A flag shows as checked only when it is stored as exactly 1.
void ShowFlag(CButton& button, Setting flag)
{
    button.SetCheck(Settings::IsOn(flag) ? BST_CHECKED : BST_UNCHECKED);
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

    for (int i = 0; g_keyCodes[i] != 0; ++i) {
        m_comboFsKey.AddString(g_keyNames[i]);
        m_comboWinKey.AddString(g_keyNames[i]);
    }

    m_editDefaultName.SetWindowText(Settings::ReadString(Setting::Filename));
    m_editDir.SetWindowText(Settings::ReadString(Setting::Dir));

    ShowFlag(m_btnRandomize, Setting::Randomize);
    ShowFlag(m_btnAppendSeq, Setting::AppendSeq);
    ShowFlag(m_btnAppendDate, Setting::AppendDate);
    ShowFlag(m_btnAppendTime, Setting::AppendTime);

    // A stored name of no key selects nothing. The platform's prefix match
    // would take an empty name for the first entry, so that one is left out.
    const CString fsKey = Settings::ReadString(Setting::HotkeyFS);
    const CString winKey = Settings::ReadString(Setting::HotkeyW);
    if (!fsKey.IsEmpty())
        m_comboFsKey.SelectString(-1, fsKey);
    if (!winKey.IsEmpty())
        m_comboWinKey.SelectString(-1, winKey);

    ShowFlag(m_btnFsAlt, Setting::HotkeyFSAlt);
    ShowFlag(m_btnFsShift, Setting::HotkeyFSShift);
    ShowFlag(m_btnFsControl, Setting::HotkeyFSControl);
    ShowFlag(m_btnWinAlt, Setting::HotkeyWAlt);
    ShowFlag(m_btnWinShift, Setting::HotkeyWShift);
    ShowFlag(m_btnWinControl, Setting::HotkeyWControl);

    UpdateSample();
    return TRUE;
}

void CSettingsDlg::UpdateSample()
{
    // Called by EN_CHANGE while the template's text is first set, before
    // every control is bound.
    if (!m_staticSample.m_hWnd || !m_btnRandomize.m_hWnd)
        return;
    const CString text = m_editDefaultName.GetWindowText();
    const int saved = Settings::ReadInt(Setting::Seqnum);
    const CString sample = BuildFileName(text, L"jpg", IsChecked(m_btnRandomize), IsChecked(m_btnAppendSeq),
                                         IsChecked(m_btnAppendDate), IsChecked(m_btnAppendTime));
    // The sample never uses up a number.
    Settings::WriteInt(Setting::Seqnum, saved);
    m_staticSample.SetWindowText(sample);
}

void CSettingsDlg::OnResetSeq()
{
    Settings::WriteInt(Setting::Seqnum, 1);
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
        Settings::WriteString(Setting::Dir, path);
        m_editDir.SetWindowText(path);
    }
}

void CSettingsDlg::OnBnClickedOk()
{
    Settings::WriteString(Setting::Filename, m_editDefaultName.GetWindowText());
    Settings::WriteString(Setting::Dir, m_editDir.GetWindowText());
    Settings::WriteInt(Setting::Randomize, CheckState(m_btnRandomize));
    Settings::WriteInt(Setting::AppendSeq, CheckState(m_btnAppendSeq));
    Settings::WriteInt(Setting::AppendDate, CheckState(m_btnAppendDate));
    Settings::WriteInt(Setting::AppendTime, CheckState(m_btnAppendTime));
    Settings::WriteInt(Setting::HotkeyFSAlt, CheckState(m_btnFsAlt));
    Settings::WriteInt(Setting::HotkeyFSShift, CheckState(m_btnFsShift));
    Settings::WriteInt(Setting::HotkeyFSControl, CheckState(m_btnFsControl));
    // The selected name, or empty when nothing is selected.
    Settings::WriteString(Setting::HotkeyFS, m_comboFsKey.GetWindowText());
    Settings::WriteInt(Setting::HotkeyWAlt, CheckState(m_btnWinAlt));
    Settings::WriteInt(Setting::HotkeyWShift, CheckState(m_btnWinShift));
    Settings::WriteInt(Setting::HotkeyWControl, CheckState(m_btnWinControl));
    Settings::WriteString(Setting::HotkeyW, m_comboWinKey.GetWindowText());

    OrvoApp().RegisterHotkeys();
    CDialog::OnOK();
}
