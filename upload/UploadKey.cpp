#include "upload/UploadKey.h"

bool IsThisComputer(const CString& host)
{
    CString name = host;
    if (name.GetLength() >= 2 && name.GetAt(0) == L'[' && name.GetAt(name.GetLength() - 1) == L']')
        name = name.Mid(1, name.GetLength() - 2);
    // "localhost." is the same name written fully qualified.
    return name.CompareNoCase(L"localhost") == 0 || name.CompareNoCase(L"localhost.") == 0 ||
           name == L"127.0.0.1" || name == L"::1";
}

bool MayCarryUploadKey(bool https, const CString& host) { return https || IsThisComputer(host); }

CString AuthorizationHeader(const CString& key)
{
    CString trimmed = key;
    trimmed.Trim();
    if (trimmed.IsEmpty())
        return CString();
    for (int i = 0; i < trimmed.GetLength(); ++i)
        if (trimmed.GetAt(i) < L' ' || trimmed.GetAt(i) == 0x7F)
            return CString();
    return L"Authorization: Bearer " + trimmed;
}
