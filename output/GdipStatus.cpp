#include "output/GdipStatus.h"

const wchar_t* const g_gdipStatusText[22] = {
    L"No error",
    L"Generic Error",
    L"Invalid Parameter",
    L"Out of memory",
    L"Object busy",
    L"Insufficient Buffer",
    L"Not implemented",
    L"Win32 Error",
    L"Wrong State",
    L"Aborted",
    L"File not Found",
    L"Value Overflow",
    L"Access Denied",
    L"Unknown Image Format",
    L"Font Family not supported",
    L"Font Style not found",
    L"No Truetype Font",
    L"Unsupported GDI+ Version",
    L"GDI+ not initalized",
    L"Property not found",
    L"Property not supported",
    L"Profile not found",
};

CString GdipStatusText(int status)
{
    constexpr int count = static_cast<int>(sizeof(g_gdipStatusText) / sizeof(g_gdipStatusText[0]));
    if (status >= 0 && status < count)
        return g_gdipStatusText[status];
    CString text;
    text.Format(L"GDI+ status %d", status);
    return text;
}
