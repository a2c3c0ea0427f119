// The values written at the first start, so that a fresh install captures
// on Print Screen and saves "Capture001.jpg" and on into My Pictures.
#pragma once

// Hotkeys that are absent or empty get Print Screen (Alt+Print Screen for the
// window), an absent base name gets "Capture" and an absent output directory
// the user's My Pictures folder. Values the user emptied stay empty.
void PutStartupDefaults();
