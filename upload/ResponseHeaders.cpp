#include "upload/ResponseHeaders.h"

CString ResponseHeaderValue(const CString& headers, const wchar_t* name)
{
    const CString wanted = CString(name) + L":";
    int lineStart = headers.Find(L'\n');
    while (lineStart >= 0) {
        ++lineStart;
        int lineEnd = headers.Find(L'\n', lineStart);
        const CString line = headers.Mid(lineStart, (lineEnd < 0 ? headers.GetLength() : lineEnd) - lineStart);
        if (line.Left(wanted.GetLength()).CompareNoCase(wanted) == 0) {
            CString value = line.Mid(wanted.GetLength());
            value.Trim();
            return value;
        }
        lineStart = lineEnd;
    }
    return CString();
}

CString ExtractDeletionAddress(const CString& headers)
{
    const CString value = ResponseHeaderValue(headers, L"Deletion-Url");
    if (value.Left(7).CompareNoCase(L"http://") == 0 || value.Left(8).CompareNoCase(L"https://") == 0)
        return value;
    return CString();
}
