// What the upload transport reports while it works: connection events from
// WinINet, the start and end of each file, transfer figures while a file is
// streamed, and whether it should stop before the next chunk.
#pragma once

#include <windows.h>

class CTextProgressCtrl;

// The result a sink's IsCancelled causes.
constexpr HRESULT UPLOAD_E_CANCELLED = static_cast<HRESULT>(0x80040301L);

// The fourteen operations come first in the table of virtual operations, in
// this order; the destructor follows them.
class UploadProgress {
public:
    virtual void OnResolvingName(LPCWSTR hostName);
    virtual void OnNameResolved(LPCWSTR hostName);
    virtual void OnConnecting(LPCWSTR hostName);
    virtual void OnConnected(LPCWSTR hostName);
    virtual void OnSendingRequest();
    virtual void OnRequestSent(DWORD bytes);
    virtual void OnReceivingResponse();
    virtual void OnResponseReceived(DWORD bytes);
    virtual void OnClosingConnection();
    virtual void OnConnectionClosed();
    virtual void OnFileBegin(LPCWSTR path);
    // bytesPerSecond (and with it the seconds left) is 0 until the rate is
    // known: after the first second of a file or its first 5 %.
    virtual void OnProgress(LPCWSTR path, DWORD fileSent, DWORD fileSize, DWORD fileSecondsLeft,
                            DWORD totalSent, DWORD totalSize, DWORD totalSecondsLeft,
                            DWORD bytesPerSecond);
    virtual void OnFileEnd(LPCWSTR path, HRESULT result);
    virtual bool IsCancelled();

    virtual ~UploadProgress() = default;
};

// Shows the connection and the current file's progress on a text progress
// bar, purely through window messages. Uploads it drives cannot be stopped.
class OrvoUploadProgress : public UploadProgress {
public:
    explicit OrvoUploadProgress(CTextProgressCtrl* pProgressCtrl) : m_pProgressCtrl(pProgressCtrl) {}

    void OnConnecting(LPCWSTR hostName) override;
    void OnConnected(LPCWSTR hostName) override;
    void OnFileBegin(LPCWSTR path) override;
    void OnProgress(LPCWSTR path, DWORD fileSent, DWORD fileSize, DWORD fileSecondsLeft, DWORD totalSent,
                    DWORD totalSize, DWORD totalSecondsLeft, DWORD bytesPerSecond) override;

    CTextProgressCtrl* m_pProgressCtrl;  // not owned

private:
    void ShowNow(LPCWSTR format, LPCWSTR hostName) const;
    // An empty file has no fraction to show: its first report shows 0%, the
    // one after its zero bytes 100%.
    bool m_bEmptyFileStarted = false;
};
