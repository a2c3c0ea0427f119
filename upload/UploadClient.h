// Sends one upload as a single multipart/form-data POST over a synchronous
// WinINet session on the calling thread: the body length is announced up
// front, file contents are streamed in 8192-byte chunks with progress and a
// cancellation check, and the status code, raw response headers and body are
// read back. Every failing step ends the upload and leaves in m_error what
// the user is to be told; the transport itself shows nothing.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "framework/CString.h"
#include "upload/UploadError.h"
#include "upload/UploadProgress.h"
#include "upload/UploadRequest.h"

struct UploadResponse {
    int m_nStatusCode = -1;
};

// The agent the server sees.
constexpr const wchar_t* kUploadAgent = L"OrvoCapture/1.8";
// File contents go through one buffer of this size.
constexpr DWORD kUploadChunkBytes = 8192;
// More of a response body than this is not kept: a server cannot make the
// program exhaust its memory.
constexpr size_t kMaxResponseBodyBytes = 1024 * 1024;

// How long a connection attempt, a send or a receive may go without progress
// before the upload gives up. WinINet under Wine has no deadline of its own:
// a server that accepts and never answers would hold the program forever.
constexpr DWORD kUploadTimeoutMs = 30000;

class UploadClient {
public:
    explicit UploadClient(UploadProgress* pProgress, DWORD timeoutMs = kUploadTimeoutMs)
        : m_pProgress(pProgress), m_dwTimeoutMs(timeoutMs) {}
    virtual ~UploadClient() = default;
    UploadClient(const UploadClient&) = delete;
    UploadClient& operator=(const UploadClient&) = delete;

    // The whole upload; 0 on success, else the failed step's error as an
    // HRESULT (or UPLOAD_E_CANCELLED).
    HRESULT Send(UploadRequest& request, UploadResponse& response);

    HRESULT WriteFormField(HINTERNET hRequest, const CString& boundary, const CString& name,
                           const CString& value);
    // fileSize is the size the body length was computed with: exactly that
    // many bytes of the file are sent.
    HRESULT WriteFileField(HINTERNET hRequest, const CString& boundary, const CString& name,
                           const CString& path, const CString& contentType, DWORD fileSize,
                           DWORD& totalSent, DWORD totalFileBytes);
    HRESULT StreamFile(HINTERNET hRequest, const CString& path, HANDLE hFile, DWORD fileSize,
                       DWORD& totalSent, DWORD totalFileBytes);
    HRESULT ReadResponseHeaders(HINTERNET hRequest);
    HRESULT ReadResponseBody(HINTERNET hRequest);

    static void CALLBACK StatusCallback(HINTERNET hInternet, DWORD_PTR context, DWORD status,
                                        LPVOID statusInfo, DWORD statusInfoLength);
    void OnInternetStatus(DWORD status, LPVOID statusInfo, DWORD statusInfoLength);

    UploadProgress* m_pProgress;           // not owned; null sends no notifications
    UploadRequest* m_pRequest = nullptr;   // not owned
    UploadResponse* m_pResponse = nullptr; // not owned
    CString m_strResponseBody;
    CString m_strResponseHeaders;          // status line and header lines, each ending "\r\n"
    CString m_strHostName;                 // from the last name-resolution notification
    DWORD m_dwTimeoutMs;                   // connect, send and receive deadline
    // Why the last Send did not deliver the image: a failed step, or the
    // host's refusal (Send returns 0 for an answered request, whatever the
    // status). Kind None after a delivery.
    UploadError m_error;

private:
    // Gives a handle (and what WinINet makes from it) the deadlines.
    void SetTimeouts(HINTERNET handle) const;
    // Records the failed call in m_error and returns its result.
    HRESULT Fail(const wchar_t* api, DWORD error, UploadStep step, const CString& path = CString());
    // A refusal by the host, with its status and its one-line reason.
    void RecordRefusal(int status);
    // After a write of the body failed: the host's answer when it sent one.
    HRESULT AnswerAfterFailedWrite(HINTERNET hRequest, DWORD_PTR context, HRESULT failed, UploadResponse& response);
};

// HRESULT_FROM_WIN32, except that a failed step whose error code reads 0 is
// still a failure.
HRESULT UploadFailure(DWORD error);
