#include "app/CommandLine.h"

CString UpperCaseCommandLine(const wchar_t* tail)
{
    CString copy(tail);
    return copy.MakeUpper();
}

bool IsUploadMode(const CString& upperTail) { return upperTail.Find(L"/U") >= 0; }

CString UploadPathFromCommandLine(const CString& upperTail)
{
    CString path = upperTail.Mid(3);
    path.Trim();
    if (path.GetLength() >= 2 && path.GetAt(0) == L'"' && path.GetAt(path.GetLength() - 1) == L'"')
        path = path.Mid(1, path.GetLength() - 2);
    return path;
}
