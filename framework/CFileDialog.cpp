#include "framework/CFileDialog.h"

#include <algorithm>

#include "framework/CWinApp.h"

namespace {
// Room for a long path; the dialog fails rather than truncate.
constexpr size_t kPathBuffer = 32768;
}  // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, LPCWSTR defaultExt, LPCWSTR fileName, DWORD flags, LPCWSTR filter,
                         CWnd* pParent)
    : m_bOpen(openFileDialog), m_file(kPathBuffer, L'\0')
{
    if (fileName)
        m_file.replace(0, std::min(::lstrlenW(fileName), static_cast<int>(kPathBuffer) - 1), fileName);
    if (filter && *filter) {
        // The dialog wants each part ended by a NUL and the list by two.
        m_filter = filter;
        for (wchar_t& ch : m_filter)
            if (ch == L'|')
                ch = L'\0';
        m_filter.push_back(L'\0');
    }
    if (defaultExt)
        m_defExt = defaultExt;

    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = pParent ? pParent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.lpstrFile = &m_file[0];
    m_ofn.nMaxFile = static_cast<DWORD>(m_file.size());
    m_ofn.lpstrDefExt = m_defExt.empty() ? nullptr : m_defExt.c_str();
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal()
{
    if (!m_ofn.hwndOwner)
        if (CWnd* main = AfxGetMainWnd())
            m_ofn.hwndOwner = main->m_hWnd;
    const BOOL ok = m_bOpen ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return ok ? IDOK : IDCANCEL;
}

CString CFileDialog::GetPathName() const { return CString(m_file.c_str()); }

CString CFileDialog::GetFileName() const
{
    const CString path = GetPathName();
    const int slash = std::max(path.ReverseFind(L'\\'), path.ReverseFind(L'/'));
    return path.Mid(slash + 1);
}
