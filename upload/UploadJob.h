// One upload of one image file to the image-hosting service, shared by the
// "/U" command line and the capture options dialog: the file goes up with a
// progress bar, and the address comes back in the response header
// "Uploaded: ".
#pragma once

#include <windows.h>

#include "framework/CString.h"

class CTextProgressCtrl;

// How a transfer ended.
struct UploadOutcome {
    HRESULT m_hrSend = S_OK;  // what the transport returned
    CString m_strAddress;     // the image's address, empty when none came back
    bool m_bFound = false;    // "Uploaded: " occurred in the answer
    // Only an address makes the image reachable.
    bool Succeeded() const { return !m_strAddress.IsEmpty(); }
};

// What a caller does around the transfer.
class UploadJobSteps {
public:
    virtual ~UploadJobSteps() = default;
    // Right before the transfer starts.
    virtual void BeforeSend() {}
    // Right after it has ended, whatever the outcome.
    virtual void AfterSend(const UploadOutcome&) {}
};

// The address in a raw response header block: the text after the first
// "Uploaded: " up to the end of its line, trimmed. Empty when there is none
// or the line has no end. *pFound tells whether "Uploaded: " occurred at all.
CString ExtractUploadedAddress(const CString& headers, bool* pFound = nullptr);

// Sends path as the form part "file" (application/octet-stream), after the
// field "selfdestruct_timeout" when pSelfDestructSeconds is given, driving
// control with the progress, to the endpoint in use (UploadEndpoint::Current)
// with the wait cursor shown for the transfer. Returns the address (empty if the answer held
// none); *pFound as for ExtractUploadedAddress.
CString RunUploadJob(CTextProgressCtrl& control, const CString& path, const int* pSelfDestructSeconds = nullptr,
                     UploadJobSteps* pSteps = nullptr, bool* pFound = nullptr);

// The steps of an upload of a temporary image file from a dialog: the
// dialog's bar is shown for the transfer and hidden after it, and the file is
// deleted afterwards, unless the upload failed and the file is to be kept.
class TemporaryFileUploadSteps : public UploadJobSteps {
public:
    TemporaryFileUploadSteps(CTextProgressCtrl& progress, const CString& tempPath)
        : m_progress(progress), m_strTempPath(tempPath) {}
    // After a failed upload the file is moved as KeepFile does (to
    // preferredPath, else into fallbackDir) instead of being deleted.
    void KeepOnFailure(const CString& preferredPath, const CString& fallbackDir);
    void BeforeSend() override;
    void AfterSend(const UploadOutcome& outcome) override;
    // Where the file of a failed upload was kept; empty when it was deleted
    // or there was none.
    const CString& KeptPath() const { return m_strKeptPath; }

private:
    CTextProgressCtrl& m_progress;
    CString m_strTempPath;
    bool m_bKeepOnFailure = false;
    CString m_strKeepPreferred;
    CString m_strKeepFallbackDir;
    CString m_strKeptPath;
};
