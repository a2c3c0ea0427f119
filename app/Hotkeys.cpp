#include "app/Hotkeys.h"

#include "app/OrvoCaptureApp.h"
#include "framework/RegKey.h"
#include "settings/Settings.h"

const wchar_t* const g_keyNames[] = {L"Print Screen", L"F1", L"F2", L"F3", L"F4", L"F5", L"F6",
                                     L"F7", L"F8", L"F9", L"F10", L"F11", L"F12", L""};
const UINT g_keyCodes[] = {VK_SNAPSHOT, VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6,
                           VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12, 0};

UINT KeyNameToVirtualKey(const wchar_t* name)
{
    for (int i = 0; g_keyCodes[i] != 0; ++i)
        if (::lstrcmpW(name, g_keyNames[i]) == 0)
            return g_keyCodes[i];
    return 0;
}

CString HotkeyFailureMessage(const wchar_t* failure, UINT code, long snippingValue)
{
    CString message = failure;
    // Windows 11 opens its own screen capture on Print Screen when this is
    // 1, and then no other program can register the key.
    if (code == VK_SNAPSHOT && snippingValue == 1)
        message += L"\n\nWindows uses the Print Screen key to open its own screen capture. To give the key "
                   L"to OrvoCapture, switch off Settings \u2192 Accessibility \u2192 Keyboard \u2192 \"Use the "
                   L"Print screen key to open screen capture\", or pick another key in Settings of "
                   L"OrvoCapture's tray menu.";
    return message;
}

long PrintScreenSnippingValue()
{
    RegKey key(HKEY_CURRENT_USER, L"Control Panel\\Keyboard");
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (!key || ::RegQueryValueExW(key, L"PrintScreenKeyForSnippingEnabled", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return static_cast<long>(value);
}

namespace {

struct HotkeySettings {
    const wchar_t* atomName;
    Setting key;
    Setting alt;
    Setting control;
    Setting shift;
    const wchar_t* failureMessage;
};

void RegisterOne(COrvoCaptureApp& app, ATOM& atom, const HotkeySettings& s)
{
    HWND hwnd = app.m_pMainWnd ? app.m_pMainWnd->m_hWnd : nullptr;
    // The old combination goes first, so a failed change leaves none.
    // The identifier is added once and kept for the run: adding it again on
    // every change would only raise the atom's reference count.
    if (atom != 0)
        ::UnregisterHotKey(hwnd, atom);
    else
        atom = ::GlobalAddAtomW(s.atomName);

    // Any value but 0 holds a modifier down.
    UINT modifiers = 0;
    if (Settings::ReadInt(s.alt) != 0)
        modifiers |= MOD_ALT;
    if (Settings::ReadInt(s.control) != 0)
        modifiers |= MOD_CONTROL;
    if (Settings::ReadInt(s.shift) != 0)
        modifiers |= MOD_SHIFT;
    const UINT code = KeyNameToVirtualKey(Settings::ReadString(s.key));

    if (!::RegisterHotKey(hwnd, atom, modifiers, code))
        AfxMessageBox(HotkeyFailureMessage(s.failureMessage, code, PrintScreenSnippingValue()), MB_ICONERROR | MB_OK);
}

}  // namespace

void COrvoCaptureApp::RegisterHotkeys()
{
    RegisterOne(*this, m_atomFullscreen,
                {L"FULLSCREEN", Setting::HotkeyFS, Setting::HotkeyFSAlt, Setting::HotkeyFSControl,
                 Setting::HotkeyFSShift, L"Could not register hot key for full screen capture"});
    RegisterOne(*this, m_atomWindow,
                {L"WINDOW", Setting::HotkeyW, Setting::HotkeyWAlt, Setting::HotkeyWControl, Setting::HotkeyWShift,
                 L"Could not register hot key for window capture"});
}
