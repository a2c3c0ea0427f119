// Why an upload failed, and the one table of texts that tells the user: what
// happened, at which host and step, what to do about it, and at the very end
// the platform call and its code in brackets for whoever has to dig deeper.
#pragma once

#include <windows.h>

#include "framework/CString.h"

enum class UploadErrorKind {
    None,              // no failure
    Cancelled,         // the user stopped it; nothing to say
    NothingListening,  // no server at the address
    NameNotFound,      // the host name does not resolve
    TimedOut,          // the host stopped answering
    ConnectionLost,    // the connection broke or the answer was garbled
    CertUntrusted,     // certificate from an authority the system does not trust
    CertExpired,       // certificate outside its dates
    CertWrongName,     // certificate for another name
    CertInvalid,       // any other certificate fault
    Refused,           // the host answered with an error status
    DeletionRefused,   // the host would not delete an image
    NoAddress,         // the host answered, but without the image's address
    FileMissing,       // the file to send does not exist
    FileUnreadable,    // it exists but cannot be read
    FileTooLarge,      // beyond the 32-bit length the request can announce
    KeyNeedsHttps,     // an upload key would travel over plain http
    Other,             // anything else a platform call reported
};

// Where in the upload it happened, in the user's words.
enum class UploadStep { Starting, Connecting, SendingImage, WaitingForAnswer, ReadingAnswer, ReadingFile };

struct UploadError {
    UploadErrorKind kind = UploadErrorKind::None;
    UploadStep step = UploadStep::Starting;
    CString api;       // the platform call that failed, e.g. "HttpSendRequestEx"; empty when none did
    DWORD error = 0;   // its error code
    int status = 0;    // the host's status code, for the refusals
    CString reason;    // the host's one-line reason, for the refusals
    CString path;      // the file, for the file kinds
    CString host;      // "name:port" of the image host

    bool Failed() const { return kind != UploadErrorKind::None; }
};

// The kind a WinINet or file error code stands for.
UploadErrorKind UploadErrorKindOf(DWORD error, UploadStep step);

// "name:port", with an IPv6 address in brackets.
CString HostAndPort(const CString& host, unsigned port);

// The message for a failure. offerUntick adds the advice to untick the
// upload box (uploads from a capture have one); keptPath, when not empty,
// says where the image was saved instead. Empty for None and Cancelled.
CString UploadErrorText(const UploadError& failure, bool offerUntick = false,
                          const CString& keptPath = CString());

// The host's one-line reason from an error body: its first line, trimmed,
// without control characters and cut to a readable length.
CString OneLineReason(const CString& body);
