// The keys a hotkey can use, by the names the settings store.
#pragma once

#include <windows.h>

// Parallel tables; the entry with code 0 ends them.
extern const wchar_t* const g_keyNames[];
extern const UINT g_keyCodes[];

// The virtual-key code of a key name (exact, case-sensitive), or 0.
UINT KeyNameToVirtualKey(const wchar_t* name);
