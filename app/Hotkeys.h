// The keys a hotkey can use, by the names the settings store.
#pragma once

#include <windows.h>

#include "framework/CString.h"

// Parallel tables; the entry with code 0 ends them.
extern const wchar_t* const g_keyNames[];
extern const UINT g_keyCodes[];

// The virtual-key code of a key name (exact, case-sensitive), or 0.
UINT KeyNameToVirtualKey(const wchar_t* name);

// What a person reads when a hotkey could not be registered: the failure,
// and for the Print Screen key, when Windows keeps that key for its own
// screen capture (snippingValue: "PrintScreenKeyForSnippingEnabled" under
// HKCU\Control Panel\Keyboard, -1 when absent), where to switch that off.
CString HotkeyFailureMessage(const wchar_t* failure, UINT code, long snippingValue);
// The value above as this user has it, -1 when absent.
long PrintScreenSnippingValue();
