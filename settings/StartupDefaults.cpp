#include "settings/StartupDefaults.h"

#include <shlobj.h>

#include "settings/Settings.h"

void PutStartupDefaults()
{
    // An empty hotkey is as good as none: both get the default key.
    if (Settings::ReadString(Setting::HotkeyFS).IsEmpty())
        Settings::WriteString(Setting::HotkeyFS, L"Print Screen");
    if (Settings::ReadString(Setting::HotkeyW).IsEmpty()) {
        Settings::WriteString(Setting::HotkeyW, L"Print Screen");
        Settings::WriteInt(Setting::HotkeyWAlt, 1);
    }
    if (!Settings::ReadStored(Setting::Filename))
        Settings::WriteString(Setting::Filename, L"Capture");
    if (!Settings::ReadStored(Setting::Dir)) {
        wchar_t path[MAX_PATH] = {};
        ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path);
        Settings::WriteString(Setting::Dir, path);
    }
}
