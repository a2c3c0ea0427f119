// An open registry key that closes itself.
#pragma once

#include <windows.h>

class RegKey {
public:
    explicit RegKey(HKEY h = nullptr) : m_h(h) {}
    // Opens parent\subkey for reading only; stays empty when that fails.
    RegKey(HKEY parent, LPCWSTR subkey)
    {
        if (::RegOpenKeyExW(parent, subkey, 0, KEY_QUERY_VALUE, &m_h) != ERROR_SUCCESS)
            m_h = nullptr;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey()
    {
        if (m_h)
            ::RegCloseKey(m_h);
    }
    HKEY Release()
    {
        HKEY h = m_h;
        m_h = nullptr;
        return h;
    }
    HKEY* Out() { return &m_h; }
    operator HKEY() const { return m_h; }

private:
    HKEY m_h = nullptr;
};
