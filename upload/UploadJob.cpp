#include "upload/UploadJob.h"

#include "app/SettingsStore.h"
#include "framework/CWinApp.h"
#include "framework/RegKey.h"
#include "ui/TextProgressCtrl.h"
#include "upload/KeptUpload.h"
#include "upload/UploadClient.h"
#include "upload/UploadProgress.h"
#include "upload/UploadRequest.h"

namespace {

constexpr const wchar_t* kUploadedHeader = L"Uploaded: ";
constexpr int kUploadedHeaderLength = 10;

CString ApplicationName()
{
    CWinApp* app = AfxGetApp();
    return app && !app->m_strAppName.IsEmpty() ? app->m_strAppName : AfxExecutableBaseName();
}

// Reads one string value of the settings key without creating anything.
CString ReadSettingString(LPCWSTR valueName)
{
    const CString keyPath = CString(L"Software\\") + kRegistryCompany + L"\\" + ApplicationName();
    const RegKey key(HKEY_CURRENT_USER, keyPath);
    if (!key)
        return CString();
    CString result;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && size < 64 * 1024) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        if (::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) ==
            ERROR_SUCCESS) {
            data.resize(size / sizeof(wchar_t));
            while (!data.empty() && data.back() == L'\0')
                data.pop_back();
            result = CString(std::move(data));
        }
    }
    return result;
}

}  // namespace

CString UploadEndpointUrl()
{
    const CString configured = ReadSettingString(kUploadUrlValue);
    if (!configured.IsEmpty()) {
        UploadRequest probe;
        if (probe.SetUrl(configured))
            return configured;
    }
    return kDefaultUploadUrl;
}

CString UploadEndpointHost()
{
    UploadRequest probe;
    probe.SetUrl(UploadEndpointUrl());
    return probe.m_strHost;
}

CString ExtractUploadedAddress(const CString& headers, bool* pFound)
{
    const int start = headers.Find(kUploadedHeader);
    const int end = start >= 0 && start <= headers.GetLength() ? headers.Find(L'\n', start) : -1;
    if (pFound)
        *pFound = start != -1;
    CString address = headers.Mid(start + kUploadedHeaderLength, end - start - kUploadedHeaderLength);
    address.Trim();
    return address;
}

CString RunUploadJob(CTextProgressCtrl& control, const CString& path, const int* pSelfDestructSeconds,
                     UploadJobSteps* pSteps, bool* pFound)
{
    OrvoUploadProgress progress(&control);
    UploadClient client(&progress);
    UploadRequest request;
    UploadResponse response;
    response.m_nStatusCode = -1;

    request.SetUrl(UploadEndpointUrl());
    request.AddFile(L"file", path, L"application/octet-stream");
    if (pSelfDestructSeconds) {
        CString seconds;
        seconds.Format(L"%d", *pSelfDestructSeconds);
        request.AddSelfDestructTimeout(seconds);
    }

    if (pSteps)
        pSteps->BeforeSend();
    if (CWinApp* app = AfxGetApp())
        app->BeginWaitCursor();
    UploadOutcome outcome;
    outcome.m_hrSend = client.Send(request, response);
    outcome.m_strAddress = ExtractUploadedAddress(client.m_strResponseHeaders, &outcome.m_bFound);
    if (pSteps)
        pSteps->AfterSend(outcome);

    if (pFound)
        *pFound = outcome.m_bFound;
    return outcome.m_strAddress;
}

void TemporaryFileUploadSteps::KeepOnFailure(const CString& preferredPath, const CString& fallbackDir)
{
    m_bKeepOnFailure = true;
    m_strKeepPreferred = preferredPath;
    m_strKeepFallbackDir = fallbackDir;
}

void TemporaryFileUploadSteps::BeforeSend() { m_progress.ShowWindow(SW_SHOWNORMAL); }

void TemporaryFileUploadSteps::AfterSend(const UploadOutcome& outcome)
{
    if (m_bKeepOnFailure && !outcome.Succeeded())
        m_strKeptPath = KeepFile(m_strTempPath, m_strKeepPreferred, m_strKeepFallbackDir);
    else
        ::DeleteFileW(m_strTempPath);
    if (CWinApp* app = AfxGetApp())
        app->EndWaitCursor();
    m_progress.ShowWindow(SW_HIDE);
}
