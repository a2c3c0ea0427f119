#include "settings/Settings.h"

#include "framework/CWinApp.h"

namespace {

// Tells an absent string apart from an empty one: no real file name,
// directory or address is "::::", so reading it back means nothing (usable)
// was stored.
constexpr const wchar_t* kAbsentSentinel = L"::::";

constexpr SettingType kInt = SettingType::Integer;
constexpr SettingType kText = SettingType::String;

}  // namespace

constexpr SettingInfo g_settings[] = {
    {Setting::HotkeyFS, L"HotkeyFS", kText, 0, L"", L"start-up writes \"Print Screen\" when absent or empty"},
    {Setting::HotkeyFSAlt, L"HotkeyFSAlt", kInt, 0, nullptr, nullptr},
    {Setting::HotkeyFSControl, L"HotkeyFSControl", kInt, 0, nullptr, nullptr},
    {Setting::HotkeyFSShift, L"HotkeyFSShift", kInt, 0, nullptr, nullptr},
    {Setting::HotkeyW, L"HotkeyW", kText, 0, L"",
     L"start-up writes \"Print Screen\" and HotkeyWAlt = 1 when absent or empty"},
    {Setting::HotkeyWAlt, L"HotkeyWAlt", kInt, 0, nullptr, L"start-up writes 1 together with HotkeyW"},
    {Setting::HotkeyWControl, L"HotkeyWControl", kInt, 0, nullptr, nullptr},
    {Setting::HotkeyWShift, L"HotkeyWShift", kInt, 0, nullptr, nullptr},
    {Setting::Filename, L"Filename", kText, 0, L"", L"start-up writes \"Capture\" when absent; an emptied one stays"},
    {Setting::Dir, L"Dir", kText, 0, L"", L"start-up writes My Pictures when absent; an emptied one stays"},
    // The file-name builder once took 1 here while the settings dialog showed
    // 0: one default now, so the dialog shows what a capture offers.
    {Setting::Randomize, L"Randomize", kInt, 0, nullptr, L"one default for the naming and the settings dialog"},
    {Setting::AppendSeq, L"AppendSeq", kInt, 1, nullptr, nullptr},
    {Setting::AppendDate, L"AppendDate", kInt, 0, nullptr, nullptr},
    {Setting::AppendTime, L"AppendTime", kInt, 0, nullptr, nullptr},
    {Setting::Seqnum, L"Seqnum", kInt, 1, nullptr, L"the next sequence number"},
    {Setting::Clipboard, L"Clipboard", kInt, 1, nullptr, nullptr},
    {Setting::Save, L"Save", kInt, 1, nullptr, nullptr},
    {Setting::Upload, L"Upload", kInt, 1, nullptr, nullptr},
    {Setting::DPIScale, L"DPIScale", kInt, 1, nullptr, nullptr},
    {Setting::Format, L"Format", kInt, 1004, nullptr, L"id of the options dialog's format radio, 0 for none"},
    {Setting::Area, L"Area", kInt, 0, nullptr, L"written only: id of the checked capture radio"},
    {Setting::SelfDestructTime, L"SelfDestructTime", kText, 0, L"", nullptr},
    {Setting::WindowPosOptions, L"WindowPosOptions", kText, 0, L"", L"absent: the options dialog is centred"},
    {Setting::UploadUrl, L"UploadUrl", kText, 0, L"", L"absent or not accepted: the built-in address"},
};

// A row's place is its Setting's number.
constexpr bool RowsInOrder()
{
    int i = 0;
    for (const SettingInfo& row : g_settings)
        if (static_cast<int>(row.id) != i++)
            return false;
    return i == static_cast<int>(Setting::UploadUrl) + 1;
}
static_assert(RowsInOrder(), "one row per setting, in the order of the enumeration");

const SettingInfo& SettingRow(Setting s) { return g_settings[static_cast<int>(s)]; }

namespace Settings {

namespace {

// The store needs the application object: it names the key.
CWinApp* Store() { return AfxGetApp(); }

}  // namespace

int ReadInt(Setting s)
{
    const SettingInfo& row = SettingRow(s);
    CWinApp* app = Store();
    return app ? static_cast<int>(app->GetProfileInt(L"", row.name, row.intDefault)) : row.intDefault;
}

bool IsOn(Setting s) { return ReadInt(s) == 1; }

CString ReadString(Setting s)
{
    const SettingInfo& row = SettingRow(s);
    CWinApp* app = Store();
    return app ? app->GetProfileString(L"", row.name, row.textDefault) : CString(row.textDefault);
}

std::optional<CString> ReadStored(Setting s)
{
    CWinApp* app = Store();
    if (!app)
        return std::nullopt;
    CString text = app->GetProfileString(L"", SettingRow(s).name, kAbsentSentinel);
    if (text == kAbsentSentinel)
        return std::nullopt;
    return text;
}

bool WriteInt(Setting s, int value)
{
    CWinApp* app = Store();
    return app && app->WriteProfileInt(L"", SettingRow(s).name, value);
}

bool WriteString(Setting s, const CString& value)
{
    CWinApp* app = Store();
    return app && app->WriteProfileString(L"", SettingRow(s).name, value);
}

CString KeyPath()
{
    CWinApp* app = Store();
    return CString(L"Software\\") + kRegistryCompany + L"\\" + (app ? app->m_strAppName : AfxExecutableBaseName());
}

}  // namespace Settings
