// Every value the program keeps, in one table with its type and default, and
// the one way to read and write them. The values live in
// HKEY_CURRENT_USER\Software\Cindrel\<application name>; each read and write
// goes to the registry at that moment, so what one dialog writes is what the
// next reader sees. Reading never creates the key: a program that only reads
// (an upload from the command line) leaves nothing behind.
#pragma once

#include <optional>

#include "framework/CString.h"

// The company part of the settings key.
constexpr const wchar_t* kRegistryCompany = L"Cindrel";

enum class Setting {
    HotkeyFS,
    HotkeyFSAlt,
    HotkeyFSControl,
    HotkeyFSShift,
    HotkeyW,
    HotkeyWAlt,
    HotkeyWControl,
    HotkeyWShift,
    Filename,
    Dir,
    Randomize,
    AppendSeq,
    AppendDate,
    AppendTime,
    Seqnum,
    Clipboard,
    Save,
    Upload,
    DPIScale,
    Format,
    Area,
    SelfDestructTime,
    WindowPosOptions,
    UploadUrl,
};

enum class SettingType { Integer, String };

struct SettingInfo {
    Setting id;
    const wchar_t* name;          // the registry value's name
    SettingType type;             // REG_DWORD or REG_SZ
    int intDefault;               // what an absent integer reads as
    const wchar_t* textDefault;   // what an absent string reads as
    const wchar_t* note;          // where a default needs a word more
};

// The table, one row per Setting in declaration order.
extern const SettingInfo g_settings[];
const SettingInfo& SettingRow(Setting s);

namespace Settings {

// The value, or the table's default when it is absent or unreadable. A flag
// counts as set only when it reads exactly 1 (IsOn).
int ReadInt(Setting s);
bool IsOn(Setting s);
CString ReadString(Setting s);
// The stored text, or nothing when the value is absent or unreadable: tells
// an absent value from an emptied one.
std::optional<CString> ReadStored(Setting s);

// Create the key when it is missing; false when the value could not be stored.
bool WriteInt(Setting s, int value);
bool WriteString(Setting s, const CString& value);

// HKEY_CURRENT_USER-relative path of the settings key.
CString KeyPath();

}  // namespace Settings
