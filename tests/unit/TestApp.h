// An application object of the test's own with a settings key of its own
// under HKEY_CURRENT_USER\Software\Cindrel, removed again when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "framework/CWinApp.h"
#include "settings/Settings.h"

// A name of the running test's own, for its settings key.
inline CString UniqueTestAppName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    CString name;
    name.Format(L"unit-%hs-%hs", info ? info->test_suite_name() : "none", info ? info->name() : "none");
    return name;
}

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp(UniqueTestAppName())
    {
        SetRegistryKey(kRegistryCompany);
        DeleteKey();
    }
    ~TestApp() override { DeleteKey(); }

    CString KeyPath() const { return CString(L"Software\\") + kRegistryCompany + L"\\" + m_strAppName; }
    bool KeyExists() const
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    // Names of all values in the application key.
    std::vector<CString> ValueNames() const;
    DWORD ValueType(const wchar_t* name) const;
    void DeleteValue(const wchar_t* name) const
    {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, KeyPath(), name);
    }

private:
    void DeleteKey() const { ::RegDeleteTreeW(HKEY_CURRENT_USER, KeyPath()); }
};

inline std::vector<CString> TestApp::ValueNames() const
{
    std::vector<CString> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    ::RegCloseKey(key);
    return names;
}

inline DWORD TestApp::ValueType(const wchar_t* name) const
{
    DWORD type = REG_NONE;
    ::RegGetValueW(HKEY_CURRENT_USER, KeyPath(), name, RRF_RT_ANY, &type, nullptr, nullptr);
    return type;
}
