// Sends one upload as a single multipart/form-data POST over a synchronous
// WinINet session on the calling thread: the body length is announced up
// front, file contents are streamed in 8192-byte chunks with progress and a
// cancellation check, and the status code, raw response headers and body are
// read back. Every failing step ends the upload; most are shown to the user.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "framework/CString.h"
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

protected:
    // Shows a failure to the user: a message box with the application's
    // title, the stop icon (MB_ICONERROR) or, for type 0, the exclamation.
    virtual void ReportError(const CString& text, UINT type);

private:
    // Gives a handle (and what WinINet makes from it) the deadlines.
    void SetTimeouts(HINTERNET handle) const;
    HRESULT Fail(const wchar_t* format, DWORD error, UINT type = MB_ICONERROR);
    HRESULT FailField(const wchar_t* format, const CString& field, DWORD error);
};

// HRESULT_FROM_WIN32, except that a failed step whose error code reads 0 is
// still a failure.
HRESULT UploadFailure(DWORD error);
