// Where the settings live and the values written at start-up.
#pragma once

class CWinApp;

// The company part of HKEY_CURRENT_USER\Software\<company>\<application name>.
constexpr const wchar_t* kRegistryCompany = L"Cindrel";

// Marks a value as absent: no real file name or directory is "::::", so a
// value that reads back as this was not there (or was not readable).
constexpr const wchar_t* kAbsentSentinel = L"::::";

// Puts the start-up defaults in place: hotkeys that are absent or empty get
// Print Screen (Alt+Print Screen for the window), an absent base name gets
// "Capture" and an absent output directory the user's My Pictures folder.
// Values the user emptied stay empty.
void PutStartupDefaults(CWinApp& app);
