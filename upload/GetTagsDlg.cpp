#include "upload/GetTagsDlg.h"

#include "framework/CWinApp.h"
#include "res/resource.h"
#include "upload/DeleteUpload.h"
#include "upload/UploadHistory.h"

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
        OnCommand(IDC_COPY_DELETE, BN_CLICKED, &CGetTagsDlg::OnCopyDeletion),
        OnCommand(IDC_DELETE_NOW, BN_CLICKED, &CGetTagsDlg::OnDeleteNow),
    });
    return &map;
}

void CGetTagsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_URL, m_editUrl);
    DDX_Control(pDX, IDC_EDIT_CODE, m_editCode);
    DDX_Control(pDX, IDC_EDIT_DELETE, m_editDelete);
}

BOOL CGetTagsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_editUrl.SetWindowText(m_strUrl);
    m_strUrl.Trim();
    CString code;
    code.Format(L"[IMG]%s[/IMG]", m_strUrl.GetString());
    m_editCode.SetWindowText(code);
    if (m_strDeletionUrl.IsEmpty())
        HideDeletionRow();
    else
        m_editDelete.SetWindowText(m_strDeletionUrl);
    return TRUE;
}

void CGetTagsDlg::HideDeletionRow()
{
    for (int id : {IDC_DELETE_LABEL, IDC_EDIT_DELETE, IDC_DELETE_NOW, IDC_COPY_DELETE})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), SW_HIDE);
    // Close moves up to where the two-row dialog has it, and the dialog
    // shrinks by the row's 28 units.
    RECT close{109, 61, 109 + 50, 61 + 14};
    ::MapDialogRect(m_hWnd, &close);
    ::SetWindowPos(::GetDlgItem(m_hWnd, IDOK), nullptr, close.left, close.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT row{0, 0, 0, 28};
    ::MapDialogRect(m_hWnd, &row);
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - row.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CGetTagsDlg::OnCopyUrl() { CopyEditText(m_editUrl); }

void CGetTagsDlg::OnCopyCode() { CopyEditText(m_editCode); }

void CGetTagsDlg::OnCopyDeletion() { CopyEditText(m_editDelete); }

void CGetTagsDlg::OnDeleteNow()
{
    DeletionResult result;
    {
        CWaitCursor wait;
        result = DeleteUploadedImage(m_strDeletionUrl);
    }
    if (result.gone) {
        CString address = m_strUrl;
        AppendUploadDeleted(UploadHistoryPath(), address.Trim());
    }
    AfxMessageBox(DeletionResultText(result), result.gone ? MB_ICONINFORMATION : MB_ICONERROR);
    EndDialog(IDOK);
}
