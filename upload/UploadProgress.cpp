#include "upload/UploadProgress.h"

#include "ui/TextProgressCtrl.h"

void UploadProgress::OnResolvingName(LPCWSTR) {}
void UploadProgress::OnNameResolved(LPCWSTR) {}
void UploadProgress::OnConnecting(LPCWSTR) {}
void UploadProgress::OnConnected(LPCWSTR) {}
void UploadProgress::OnSendingRequest() {}
void UploadProgress::OnRequestSent(DWORD) {}
void UploadProgress::OnReceivingResponse() {}
void UploadProgress::OnResponseReceived(DWORD) {}
void UploadProgress::OnClosingConnection() {}
void UploadProgress::OnConnectionClosed() {}
void UploadProgress::OnFileBegin(LPCWSTR) {}
void UploadProgress::OnProgress(LPCWSTR, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD) {}
void UploadProgress::OnFileEnd(LPCWSTR, HRESULT) {}
bool UploadProgress::IsCancelled() { return false; }

void OrvoUploadProgress::ShowNow(LPCWSTR format, LPCWSTR hostName) const
{
    CString text;
    text.Format(format, hostName ? hostName : L"");
    // No messages are dispatched during an upload, so paint right away.
    ::SetWindowTextW(m_pProgressCtrl->GetSafeHwnd(), text);
    ::RedrawWindow(m_pProgressCtrl->GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void OrvoUploadProgress::OnConnecting(LPCWSTR hostName) { ShowNow(L"Connecting: %s", hostName); }

void OrvoUploadProgress::OnConnected(LPCWSTR hostName) { ShowNow(L"Connected: %s", hostName); }

void OrvoUploadProgress::OnFileBegin(LPCWSTR) { m_bEmptyFileStarted = false; }

void OrvoUploadProgress::OnProgress(LPCWSTR, DWORD fileSent, DWORD fileSize, DWORD fileSecondsLeft, DWORD,
                                    DWORD, DWORD, DWORD bytesPerSecond)
{
    int percent = 0;
    DWORD rangeMax = fileSize;
    DWORD position = fileSent;
    if (fileSize == 0) {
        percent = m_bEmptyFileStarted ? 100 : 0;
        rangeMax = 1;
        position = m_bEmptyFileStarted ? 1 : 0;
        m_bEmptyFileStarted = true;
    } else {
        percent = static_cast<int>(100.0 / fileSize * fileSent + 0.5);
    }
    // The control's range is signed: halve files of 2 GiB and more so that
    // their bar still fills from empty to full.
    if (rangeMax > 0x7FFFFFFFu) {
        rangeMax >>= 1;
        position >>= 1;
    }

    // A rate of 0 is not known yet: no figures are better than wild ones.
    CString text;
    if (bytesPerSecond == 0)
        text.Format(L"%d%%", percent);
    else
        text.Format(L"%d%%   %d KB/s   %d s left", percent, static_cast<int>(bytesPerSecond / 1024),
                    static_cast<int>(fileSecondsLeft));
    const HWND hwnd = m_pProgressCtrl->GetSafeHwnd();
    ::SetWindowTextW(hwnd, text);
    ::SendMessageW(hwnd, PBM_SETRANGE32, 0, static_cast<LPARAM>(rangeMax));
    ::SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
