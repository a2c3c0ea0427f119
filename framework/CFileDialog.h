// The system's open and save dialogs (Explorer style, resizable).
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "framework/CWnd.h"

class CFileDialog {
public:
    // filter is "Name|pattern|Name|pattern||"; defaultExt has no dot.
    CFileDialog(BOOL openFileDialog, LPCWSTR defaultExt = nullptr, LPCWSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR filter = nullptr,
                CWnd* pParent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise (also on failure).
    INT_PTR DoModal();
    // The chosen file's full path, and its name without the folder.
    CString GetPathName() const;
    CString GetFileName() const;

    OPENFILENAMEW m_ofn{};

private:
    BOOL m_bOpen;
    std::wstring m_file;    // the buffer the dialog writes the path into
    std::wstring m_filter;  // the filter with NULs for the bars
    std::wstring m_defExt;
};
