// A hotkey with Alt leaves the window the user was in with Alt pressed and
// released and nothing in between: the hotkey's own key is never delivered
// to it. That window then opens its menu as Alt goes up, takes the mouse,
// and the first click on the capture only closes that menu.
#pragma once

// While Alt is held, sends a keystroke of a key that no program uses, so
// that Alt's release is no longer a lone Alt press.
void MaskAltMenuActivation();
