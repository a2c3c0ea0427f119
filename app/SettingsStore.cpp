#include "app/SettingsStore.h"

#include <shlobj.h>

#include "framework/CWinApp.h"

void PutStartupDefaults(CWinApp& app)
{
    if (app.GetProfileString(L"", L"HotkeyFS", L"").IsEmpty())
        app.WriteProfileString(L"", L"HotkeyFS", L"Print Screen");
    if (app.GetProfileString(L"", L"HotkeyW", L"").IsEmpty()) {
        app.WriteProfileString(L"", L"HotkeyW", L"Print Screen");
        app.WriteProfileInt(L"", L"HotkeyWAlt", 1);
    }
    if (app.GetProfileString(L"", L"Filename", kAbsentSentinel) == kAbsentSentinel)
        app.WriteProfileString(L"", L"Filename", L"Capture");
    if (app.GetProfileString(L"", L"Dir", kAbsentSentinel) == kAbsentSentinel) {
        wchar_t path[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path);
        app.WriteProfileString(L"", L"Dir", path);
    }
}
