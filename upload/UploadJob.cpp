#include "upload/UploadJob.h"

#include "framework/CWinApp.h"
#include "ui/TextProgressCtrl.h"
#include "upload/KeptUpload.h"
#include "upload/UploadClient.h"
#include "upload/UploadEndpoint.h"
#include "upload/UploadProgress.h"
#include "upload/UploadRequest.h"

namespace {

constexpr const wchar_t* kUploadedHeader = L"Uploaded: ";
constexpr int kUploadedHeaderLength = 10;

}  // namespace

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

    request.m_endpoint = UploadEndpoint::Current();
    request.AddFile(L"file", path, L"application/octet-stream");
    if (pSelfDestructSeconds) {
        CString seconds;
        seconds.Format(L"%d", *pSelfDestructSeconds);
        request.AddSelfDestructTimeout(seconds);
    }

    if (pSteps)
        pSteps->BeforeSend();
    UploadOutcome outcome;
    {
        CWaitCursor wait;
        outcome.m_hrSend = client.Send(request, response);
    }
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
    m_progress.ShowWindow(SW_HIDE);
}
