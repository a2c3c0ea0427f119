#include "upload/UploadEndpoint.h"

#include <wininet.h>

#include "settings/Settings.h"

namespace {

constexpr DWORD kComponentChars = 260;  // per URL component, null included

}  // namespace

bool UploadEndpoint::Parse(const CString& url, UploadEndpoint* pOut)
{
    wchar_t scheme[kComponentChars] = {};
    wchar_t host[kComponentChars] = {};
    wchar_t user[kComponentChars] = {};
    wchar_t password[kComponentChars] = {};
    wchar_t path[kComponentChars] = {};
    wchar_t extra[kComponentChars] = {};

    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = kComponentChars;
    parts.lpszHostName = host;
    parts.dwHostNameLength = kComponentChars;
    parts.lpszUserName = user;
    parts.dwUserNameLength = kComponentChars;
    parts.lpszPassword = password;
    parts.dwPasswordLength = kComponentChars;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kComponentChars;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = kComponentChars;

    if (url.IsEmpty() || !::InternetCrackUrlW(url, 0, 0, &parts))
        return false;
    if (::lstrcmpW(scheme, L"http") != 0 || parts.nPort != INTERNET_DEFAULT_HTTP_PORT)
        return false;
    if (user[0] || password[0] || extra[0])
        return false;

    pOut->m_strScheme = scheme;
    pOut->m_strHost = host;
    pOut->m_nPort = parts.nPort;
    pOut->m_strPath = path;
    return true;
}

UploadEndpoint UploadEndpoint::Current()
{
    UploadEndpoint endpoint;
    if (!Parse(Settings::ReadString(Setting::UploadUrl), &endpoint))
        Parse(kDefaultUploadUrl, &endpoint);
    return endpoint;
}
