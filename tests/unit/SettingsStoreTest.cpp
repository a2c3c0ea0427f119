#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "TestApp.h"
#include "settings/StartupDefaults.h"

TEST(ProfileStore, ValuesRoundTripThroughTheRegistryWithoutCaching)
{
    TestApp app;
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 1), 1u);
    EXPECT_EQ(app.GetProfileString(L"", L"Filename", L"::::"), L"::::");
    EXPECT_EQ(app.GetProfileString(L"", L"Filename"), L"");  // a null default reads as empty

    EXPECT_TRUE(app.WriteProfileInt(L"", L"Seqnum", 42));
    EXPECT_TRUE(app.WriteProfileString(L"", L"Filename", L"Shot \u00e9"));
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 1), 42u);
    EXPECT_EQ(app.GetProfileString(L"", L"Filename"), L"Shot \u00e9");
    EXPECT_EQ(app.ValueType(L"Seqnum"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(app.ValueType(L"Filename"), static_cast<DWORD>(REG_SZ));

    // A change made behind the program's back is what the next read sees.
    const DWORD seven = 7;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, app.KeyPath(), L"Seqnum", REG_DWORD, &seven, sizeof(seven));
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 1), 7u);
}

TEST(ProfileStore, EmptyStringsAndOversizedIntegersAreHandled)
{
    TestApp app;
    app.WriteProfileString(L"", L"Dir", L"");
    EXPECT_EQ(app.GetProfileString(L"", L"Dir", L"::::"), L"");  // present but empty
    // A value too big for an integer query counts as absent.
    app.WriteProfileString(L"", L"Format", L"a long string value");
    EXPECT_EQ(app.GetProfileInt(L"", L"Format", 1004), 1004u);
}

TEST(ProfileStore, ReadingCreatesNothingAndTheFirstWriteCreatesTheKey)
{
    TestApp app;
    EXPECT_EQ(Settings::ReadInt(Setting::Seqnum), 1);
    EXPECT_EQ(Settings::ReadString(Setting::Filename), L"");
    EXPECT_FALSE(Settings::ReadStored(Setting::Dir).has_value());
    EXPECT_FALSE(app.KeyExists());
    EXPECT_TRUE(Settings::WriteInt(Setting::Seqnum, 5));
    EXPECT_TRUE(app.KeyExists());
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 1), 5u);
    EXPECT_EQ(Settings::ReadStored(Setting::Dir), std::nullopt);
    app.WriteProfileString(L"", L"Dir", L"");
    EXPECT_EQ(Settings::ReadStored(Setting::Dir), CString());
}

TEST(ProfileStore, WithoutARegistryKeyNothingIsReadOrWritten)
{
    CWinApp app(L"unit-no-registry-key");
    EXPECT_FALSE(app.WriteProfileInt(L"", L"Seqnum", 5));
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 3), 3u);
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Cindrel\\unit-no-registry-key", 0, KEY_READ, &key),
              ERROR_SUCCESS);
}

TEST(StartupDefaults, AFreshKeyGetsExactlyTheFiveDefaults)
{
    TestApp app;
    PutStartupDefaults();
    std::vector<CString> names = app.ValueNames();
    std::sort(names.begin(), names.end(), [](const CString& a, const CString& b) { return a.Compare(b) < 0; });
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], L"Dir");
    EXPECT_EQ(names[1], L"Filename");
    EXPECT_EQ(names[2], L"HotkeyFS");
    EXPECT_EQ(names[3], L"HotkeyW");
    EXPECT_EQ(names[4], L"HotkeyWAlt");
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyFS"), L"Print Screen");
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyW"), L"Print Screen");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyWAlt", 0), 1u);
    EXPECT_EQ(app.GetProfileString(L"", L"Filename"), L"Capture");
    wchar_t pictures[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, pictures);
    EXPECT_EQ(app.GetProfileString(L"", L"Dir"), pictures);
}

TEST(StartupDefaults, EmptiedNamesStayEmptyButEmptyHotkeysAreRestored)
{
    TestApp app;
    app.WriteProfileString(L"", L"Filename", L"");
    app.WriteProfileString(L"", L"Dir", L"");
    app.WriteProfileString(L"", L"HotkeyFS", L"");
    app.WriteProfileString(L"", L"HotkeyW", L"F5");
    app.WriteProfileInt(L"", L"HotkeyWAlt", 0);
    PutStartupDefaults();
    EXPECT_EQ(app.GetProfileString(L"", L"Filename", L"::::"), L"");
    EXPECT_EQ(app.GetProfileString(L"", L"Dir", L"::::"), L"");
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyFS"), L"Print Screen");
    // A window hotkey the user chose keeps its key and its modifiers.
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyW"), L"F5");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyWAlt", 7), 0u);
}

TEST(StartupDefaults, TheSentinelItselfCountsAsAbsent)
{
    TestApp app;
    app.WriteProfileString(L"", L"Filename", L"::::");
    PutStartupDefaults();
    EXPECT_EQ(app.GetProfileString(L"", L"Filename"), L"Capture");
}
