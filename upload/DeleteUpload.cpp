#include "upload/DeleteUpload.h"

#include <wininet.h>

#include <vector>

#include "framework/Handles.h"
#include "upload/UploadClient.h"

namespace {

constexpr DWORD kComponentChars = 2048;

struct CrackedUrl {
    bool https = false;
    CString host;
    INTERNET_PORT port = 0;
    CString path;  // with its query
};

bool Crack(const CString& url, CrackedUrl& out)
{
    std::vector<wchar_t> scheme(kComponentChars), host(kComponentChars), path(kComponentChars),
        extra(kComponentChars);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszScheme = scheme.data();
    parts.dwSchemeLength = kComponentChars;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = kComponentChars;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = kComponentChars;
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = kComponentChars;
    if (!::InternetCrackUrlW(url, 0, 0, &parts))
        return false;
    out.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!out.https && parts.nScheme != INTERNET_SCHEME_HTTP)
        return false;
    out.host = host.data();
    out.port = parts.nPort;
    out.path = CString(path.data()) + extra.data();
    if (out.path.IsEmpty())
        out.path = L"/";
    return !out.host.IsEmpty();
}

DeletionResult Failed(const CString& host, UploadStep step, const wchar_t* api, DWORD error)
{
    DeletionResult result;
    result.failure.kind = UploadErrorKindOf(error, step);
    result.failure.step = step;
    result.failure.api = api;
    result.failure.error = error;
    result.failure.host = host;
    return result;
}

}  // namespace

DeletionResult DeleteUploadedImage(const CString& deletionAddress)
{
    CrackedUrl url;
    if (!Crack(deletionAddress, url))
        return Failed(deletionAddress, UploadStep::Starting, L"InternetCrackUrl", ERROR_INTERNET_INVALID_URL);
    const CString host = HostAndPort(url.host, url.port);

    InternetHandle session(::InternetOpenW(kUploadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return Failed(host, UploadStep::Starting, L"InternetOpen", ::GetLastError());
    DWORD timeout = kUploadTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session, option, &timeout, sizeof(timeout));
    InternetHandle connection(
        ::InternetConnectW(session, url.host, url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return Failed(host, UploadStep::Connecting, L"InternetConnect", ::GetLastError());
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI;
    if (url.https)
        flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(::HttpOpenRequestW(connection, L"POST", url.path, nullptr, nullptr, nullptr, flags, 0));
    if (!request)
        return Failed(host, UploadStep::Connecting, L"HttpOpenRequest", ::GetLastError());
    if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0))
        return Failed(host, UploadStep::Connecting, L"HttpSendRequest", ::GetLastError());

    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
        return Failed(host, UploadStep::WaitingForAnswer, L"HttpQueryInfo", ::GetLastError());

    DeletionResult result;
    // Not there any more is as gone as deleted now.
    if ((status >= 200 && status < 300) || status == 404 || status == 410) {
        result.gone = true;
        return result;
    }
    std::string body;
    char chunk[512];
    DWORD read = 0;
    while (body.size() < 4096 && ::InternetReadFile(request, chunk, sizeof(chunk), &read) && read > 0)
        body.append(chunk, read);
    result.failure.kind = UploadErrorKind::DeletionRefused;
    result.failure.step = UploadStep::WaitingForAnswer;
    result.failure.status = static_cast<int>(status);
    result.failure.reason = OneLineReason(FromAnsi(body.data(), static_cast<int>(body.size()), CP_UTF8));
    result.failure.host = host;
    return result;
}

CString DeletionResultText(const DeletionResult& result)
{
    if (result.gone)
        return L"The image is gone: its address no longer shows it.";
    return L"The image was not deleted. " + UploadErrorText(result.failure);
}
