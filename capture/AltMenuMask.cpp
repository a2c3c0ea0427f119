#include "capture/AltMenuMask.h"

#include <windows.h>

namespace {

// Unassigned by Windows: no program acts on it.
constexpr WORD kUnassignedKey = 0xE8;

}  // namespace

void MaskAltMenuActivation()
{
    if (!(::GetAsyncKeyState(VK_MENU) & 0x8000))
        return;
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = kUnassignedKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
}
