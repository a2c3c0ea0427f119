#include "upload/UploadError.h"

#include <wininet.h>

namespace {

// One row per kind. In the texts, {host} is "name:port", {name} the host
// name alone, {step} the step in words, {path} the file, {status} and
// {reason} the host's answer, {why} what the system said about the file.
// advice2 replaces advice when the upload box can be unticked.
struct FailureText {
    UploadErrorKind kind;
    const wchar_t* what;
    const wchar_t* advice;
    const wchar_t* advice2;
};

constexpr FailureText kTexts[] = {
    {UploadErrorKind::NothingListening, L"Nothing answered at {host}.",
     L"Start the image host or set its address in Settings.",
     L"Start the image host, set its address in Settings, or untick the upload box."},
    {UploadErrorKind::NameNotFound, L"The image host {name} was not found.",
     L"Check its address in Settings and the network connection.", nullptr},
    {UploadErrorKind::TimedOut, L"The image host at {host} stopped answering while {step}.",
     L"Try again later, or check its address in Settings.", nullptr},
    {UploadErrorKind::ConnectionLost, L"The connection to the image host at {host} broke while {step}.",
     L"Try again; if it happens again, check the address in Settings.", nullptr},
    {UploadErrorKind::CertUntrusted, L"The image host's certificate is not trusted ({host}).",
     L"Check the address in Settings; the host needs a certificate from an authority this computer trusts.",
     nullptr},
    {UploadErrorKind::CertExpired, L"The image host's certificate has expired ({host}).",
     L"Ask the host's owner to renew it.", nullptr},
    {UploadErrorKind::CertWrongName, L"The image host's certificate is for another name, not {name}.",
     L"Check the address in Settings: it must use the name the certificate was made for.", nullptr},
    {UploadErrorKind::CertInvalid, L"The image host's certificate could not be accepted ({host}).",
     L"Check the address in Settings, or ask the host's owner.", nullptr},
    {UploadErrorKind::Refused, L"The image host at {host} refused the image: {status} {reason}.", nullptr,
     nullptr},
    {UploadErrorKind::DeletionRefused,
     L"The image host at {host} refused to delete the image: {status} {reason}.",
     L"Its deletion address may have been changed; ask the host's owner.", nullptr},
    {UploadErrorKind::NoAddress, L"The image host at {host} answered without the image's address.",
     L"Check that the address in Settings is that of an image host.", nullptr},
    {UploadErrorKind::FileMissing, L"The file {path} does not exist.", L"Check its name and folder.",
     nullptr},
    {UploadErrorKind::FileUnreadable, L"The file {path} could not be read: {why}.",
     L"Close any program that holds it and check that you may read it.", nullptr},
    {UploadErrorKind::FileTooLarge, L"The file {path} is too large to upload.",
     L"Files and the whole upload must stay below 4 GB.", nullptr},
    {UploadErrorKind::KeyNeedsHttps,
     L"The upload key is never sent over plain http, and {host} is not this computer.",
     L"Use https: set an address starting with https:// in Settings, or remove the key.", nullptr},
    {UploadErrorKind::Other, L"The upload to the image host at {host} failed while {step}.",
     L"Try again; if it happens again, check the address in Settings.", nullptr},
};

const wchar_t* StepWords(UploadStep step)
{
    switch (step) {
    case UploadStep::Starting: return L"starting the upload";
    case UploadStep::Connecting: return L"connecting";
    case UploadStep::SendingImage: return L"sending the image";
    case UploadStep::WaitingForAnswer: return L"waiting for its answer";
    case UploadStep::ReadingAnswer: return L"reading its answer";
    case UploadStep::ReadingFile: return L"reading the file";
    }
    return L"uploading";
}

// What to do about a refusal depends on what the host objected to.
const wchar_t* RefusalAdvice(int status)
{
    switch (status) {
    case 401:
    case 403: return L"Check the upload key in Settings.";
    case 413: return L"The image is larger than the host accepts.";
    case 415: return L"The host takes only images of the kinds it knows.";
    case 404:
    case 405: return L"Check the upload address in Settings.";
    default: return status >= 500 ? L"Try again later." : L"Check the upload address and key in Settings.";
    }
}

CString FileProblem(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED: return L"access is denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return L"another program is using it";
    case ERROR_HANDLE_EOF: return L"it became shorter while it was sent";
    default: break;
    }
    CString text;
    text.Format(L"the system reported error %lu", error);
    return text;
}

CString NameOf(const CString& hostAndPort)
{
    const int colon = hostAndPort.ReverseFind(L':');
    CString name = colon > 0 ? hostAndPort.Left(colon) : hostAndPort;
    if (name.GetLength() >= 2 && name.GetAt(0) == L'[' && name.GetAt(name.GetLength() - 1) == L']')
        name = name.Mid(1, name.GetLength() - 2);
    return name;
}

void Replace(std::wstring& text, const wchar_t* token, const CString& value)
{
    const std::wstring key(token);
    for (size_t at = text.find(key); at != std::wstring::npos; at = text.find(key, at + value.GetLength()))
        text.replace(at, key.size(), value.Str());
}

}  // namespace

UploadErrorKind UploadErrorKindOf(DWORD error, UploadStep step)
{
    if (step == UploadStep::ReadingFile) {
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE: return UploadErrorKind::FileMissing;
        case ERROR_FILE_TOO_LARGE: return UploadErrorKind::FileTooLarge;
        default: return UploadErrorKind::FileUnreadable;
        }
    }
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT: return UploadErrorKind::NothingListening;
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return UploadErrorKind::NameNotFound;
    case ERROR_INTERNET_TIMEOUT: return UploadErrorKind::TimedOut;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case ERROR_INTERNET_FORCE_RETRY: return UploadErrorKind::ConnectionLost;
    case ERROR_INTERNET_INVALID_CA:
    // A certificate from an authority the system does not know fails its
    // revocation check before anything else under Wine: either way nothing
    // vouches for it.
    case ERROR_INTERNET_SEC_CERT_REV_FAILED: return UploadErrorKind::CertUntrusted;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return UploadErrorKind::CertExpired;
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return UploadErrorKind::CertWrongName;
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED: return UploadErrorKind::CertInvalid;
    case ERROR_FILE_TOO_LARGE: return UploadErrorKind::FileTooLarge;
    default: return UploadErrorKind::Other;
    }
}

CString HostAndPort(const CString& host, unsigned port)
{
    CString text;
    if (host.Find(L':') >= 0)
        text.Format(L"[%ls]:%u", host.GetString(), port);
    else
        text.Format(L"%ls:%u", host.GetString(), port);
    return text;
}

CString UploadErrorText(const UploadError& failure, bool offerUntick, const CString& keptPath)
{
    const FailureText* row = nullptr;
    for (const FailureText& candidate : kTexts)
        if (candidate.kind == failure.kind)
            row = &candidate;
    if (!row)
        return CString();

    std::wstring text = row->what;
    const wchar_t* advice = failure.kind == UploadErrorKind::Refused ? RefusalAdvice(failure.status)
                            : offerUntick && row->advice2                 ? row->advice2
                                                                          : row->advice;
    text += L" ";
    text += advice;
    if (!keptPath.IsEmpty())
        text += L" The image was saved as {kept}.";

    CString status;
    status.Format(L"%d", failure.status);
    Replace(text, L"{host}", failure.host);
    Replace(text, L"{name}", NameOf(failure.host));
    Replace(text, L"{step}", StepWords(failure.step));
    Replace(text, L"{path}", failure.path);
    Replace(text, L"{status}", status);
    Replace(text, L"{why}", FileProblem(failure.error));
    // A missing reason leaves no stray blank before the full stop.
    CString reason = failure.reason;
    while (!reason.IsEmpty() && reason.GetAt(reason.GetLength() - 1) == L'.')
        reason = reason.Left(reason.GetLength() - 1);
    Replace(text, L" {reason}", reason.IsEmpty() ? CString() : L" " + reason);
    Replace(text, L"{kept}", keptPath);

    if (!failure.api.IsEmpty()) {
        CString code;
        code.Format(L" (%ls, error %lu)", failure.api.GetString(), failure.error);
        text += code.Str();
    }
    return CString(std::move(text));
}

CString OneLineReason(const CString& body)
{
    constexpr int kMaxReasonChars = 160;
    std::wstring line;
    for (int i = 0; i < body.GetLength(); ++i) {
        const wchar_t c = body.GetAt(i);
        if (c == L'\r' || c == L'\n') {
            if (!line.empty())
                break;
            continue;
        }
        if (c >= L' ' && c != 0x7F)
            line += c;
    }
    CString reason(std::move(line));
    reason.Trim();
    if (reason.GetLength() > kMaxReasonChars)
        reason = reason.Left(kMaxReasonChars - 3) + L"...";
    return reason;
}
