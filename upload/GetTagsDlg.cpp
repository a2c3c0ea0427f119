#include "upload/GetTagsDlg.h"

#include "res/resource.h"

namespace {

// The edit control itself puts what it shows on the clipboard, including
// anything the user typed into it.
void CopyEditText(CEdit& edit)
{
    edit.SetFocus();
    edit.SendMessage(EM_SETSEL, 0xFF00, 0);
    edit.SendMessage(EM_SCROLLCARET);
    edit.SendMessage(WM_COPY);
}

}  // namespace

CGetTagsDlg::CGetTagsDlg() : CDialog(IDD_GETTAGS) {}

const MessageMap* CGetTagsDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnCommand(IDC_COPY_URL, BN_CLICKED, &CGetTagsDlg::OnCopyUrl),
        OnCommand(IDC_COPY_CODE, BN_CLICKED, &CGetTagsDlg::OnCopyCode),
    });
    return &map;
}

void CGetTagsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_URL, m_editUrl);
    DDX_Control(pDX, IDC_EDIT_CODE, m_editCode);
}

BOOL CGetTagsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_editUrl.SetWindowText(m_strUrl);
    m_strUrl.Trim();
    CString code;
    code.Format(L"[IMG]%s[/IMG]", m_strUrl.GetString());
    m_editCode.SetWindowText(code);
    return TRUE;
}

void CGetTagsDlg::OnCopyUrl() { CopyEditText(m_editUrl); }

void CGetTagsDlg::OnCopyCode() { CopyEditText(m_editCode); }
