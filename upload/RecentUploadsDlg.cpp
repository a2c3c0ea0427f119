#include "upload/RecentUploadsDlg.h"

#include <shellapi.h>

#include "framework/CWinApp.h"
#include "res/resource.h"
#include "upload/DeleteUpload.h"

namespace {

// Puts text on the clipboard as Unicode text; false when the clipboard is
// held by another program.
bool CopyText(HWND owner, const CString& text)
{
    if (!::OpenClipboard(owner))
        return false;
    ::EmptyClipboard();
    const size_t bytes = (static_cast<size_t>(text.GetLength()) + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool placed = false;
    if (memory) {
        if (void* p = ::GlobalLock(memory)) {
            ::memcpy(p, text.GetString(), bytes);
            ::GlobalUnlock(memory);
            placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        // The clipboard owns the memory only once it took it.
        if (!placed)
            ::GlobalFree(memory);
    }
    ::CloseClipboard();
    return placed;
}

}  // namespace

CRecentUploadsDlg::CRecentUploadsDlg(const CString& historyPath, CWnd* pParent)
    : CDialog(IDD_RECENT_UPLOADS, pParent), m_strHistoryPath(historyPath)
{
}

const MessageMap* CRecentUploadsDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnCommand(IDC_RECENT_COPY, BN_CLICKED, &CRecentUploadsDlg::OnCopy),
        OnCommand(IDC_RECENT_OPEN, BN_CLICKED, &CRecentUploadsDlg::OnOpen),
        OnCommand(IDC_RECENT_DELETE, BN_CLICKED, &CRecentUploadsDlg::OnDelete),
        OnCommand(IDC_RECENT_LIST, LBN_SELCHANGE, &CRecentUploadsDlg::UpdateButtons),
        OnCommand(IDC_RECENT_LIST, LBN_DBLCLK, &CRecentUploadsDlg::OnOpen),
    });
    return &map;
}

CString CRecentUploadsDlg::LineFor(const UploadRecord& record)
{
    return record.time + L"\t" + record.address + L"\t" + (record.deleted ? L"deleted" : L"");
}

BOOL CRecentUploadsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Columns in dialog units: the time, then the address, then the state.
    int tabs[] = {76, 282};
    ::SendDlgItemMessageW(m_hWnd, IDC_RECENT_LIST, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabs));
    // Long addresses can be scrolled to.
    RECT extent{0, 0, 420, 0};
    ::MapDialogRect(m_hWnd, &extent);
    ::SendDlgItemMessageW(m_hWnd, IDC_RECENT_LIST, LB_SETHORIZONTALEXTENT, extent.right, 0);
    Fill(0);
    return TRUE;
}

void CRecentUploadsDlg::Fill(int select)
{
    m_records = ReadRecentUploads(m_strHistoryPath);
    const HWND list = ::GetDlgItem(m_hWnd, IDC_RECENT_LIST);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (const UploadRecord& record : m_records)
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LineFor(record).GetString()));
    if (!m_records.empty())
        ::SendMessageW(list, LB_SETCURSEL, select >= 0 && select < static_cast<int>(m_records.size()) ? select : 0,
                       0);
    UpdateButtons();
}

const UploadRecord* CRecentUploadsDlg::Selected() const
{
    const LRESULT index = ::SendDlgItemMessageW(m_hWnd, IDC_RECENT_LIST, LB_GETCURSEL, 0, 0);
    if (index < 0 || index >= static_cast<LRESULT>(m_records.size()))
        return nullptr;
    return &m_records[static_cast<size_t>(index)];
}

void CRecentUploadsDlg::UpdateButtons()
{
    const UploadRecord* record = Selected();
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RECENT_COPY), record != nullptr);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RECENT_OPEN), record != nullptr && !record->deleted);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_RECENT_DELETE),
                   record != nullptr && !record->deleted && !record->deletionAddress.IsEmpty());
}

void CRecentUploadsDlg::OnCopy()
{
    if (const UploadRecord* record = Selected())
        CopyText(m_hWnd, record->address);
}

void CRecentUploadsDlg::OnOpen()
{
    const UploadRecord* record = Selected();
    if (!record || record->deleted)
        return;
    ::ShellExecuteW(m_hWnd, L"open", record->address, nullptr, nullptr, SW_SHOWNORMAL);
}

void CRecentUploadsDlg::OnDelete()
{
    const UploadRecord* record = Selected();
    if (!record || record->deleted || record->deletionAddress.IsEmpty())
        return;
    const int index = static_cast<int>(record - m_records.data());
    DeletionResult result;
    {
        CWaitCursor wait;
        result = DeleteUploadedImage(record->deletionAddress);
    }
    if (!result.gone) {
        AfxMessageBox(DeletionResultText(result), MB_ICONERROR);
        return;
    }
    AppendUploadDeleted(m_strHistoryPath, record->address);
    Fill(index);
}
