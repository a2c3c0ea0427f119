#include "upload/UploadClient.h"

#include <cstring>

#include "framework/Handles.h"
#include "upload/TransferRate.h"
#include "upload/UploadKey.h"

namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_NO_UI;
static_assert(kRequestFlags == 0x806CC200, "request flags");

// A wait this close to the deadline ran into it (tick counts are coarse).
constexpr DWORD kDeadlineSlackMs = 100;

// Ticks of half a second.
DWORD CurrentTick() { return ::GetTickCount() / 500; }

// Writes every byte, however the connection splits the write.
BOOL WriteAll(HINTERNET hRequest, const void* data, DWORD length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!::InternetWriteFile(hRequest, p, length, &written))
            return FALSE;
        if (written == 0 || written > length) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return FALSE;
        }
        p += written;
        length -= written;
    }
    return TRUE;
}

BOOL WriteAll(HINTERNET hRequest, const std::string& bytes)
{
    return WriteAll(hRequest, bytes.data(), static_cast<DWORD>(bytes.size()));
}

}  // namespace

HRESULT UploadFailure(DWORD error)
{
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

void UploadClient::SetTimeouts(HINTERNET handle) const
{
    DWORD timeout = m_dwTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(handle, option, &timeout, sizeof(timeout));
}

HRESULT UploadClient::Fail(const wchar_t* api, DWORD error, UploadStep step, const CString& path)
{
    m_error = UploadError();
    m_error.kind = UploadErrorKindOf(error, step);
    m_error.step = step;
    m_error.api = api;
    m_error.error = error;
    m_error.path = path;
    m_error.host = m_pRequest ? m_pRequest->m_endpoint.HostAndPort() : CString();
    return UploadFailure(error);
}

HRESULT UploadClient::Send(UploadRequest& request, UploadResponse& response)
{
    m_pRequest = &request;
    m_pResponse = &response;
    m_error = UploadError();
    const UploadEndpoint& endpoint = request.m_endpoint;

    // The key is checked before anything goes anywhere: over plain http it
    // would be readable on every network it crosses.
    const CString authorization = AuthorizationHeader(request.m_strUploadKey);
    if (!authorization.IsEmpty() && !MayCarryUploadKey(endpoint.IsHttps(), endpoint.m_strHost)) {
        m_error.kind = UploadErrorKind::KeyNeedsHttps;
        m_error.host = endpoint.HostAndPort();
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    // A file that cannot be read is told about before the host hears of it.
    for (const UploadFileField& file : request.m_files) {
        FileHandle probe(::CreateFileW(file.m_strPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
        if (!probe.IsValid())
            return Fail(L"CreateFile", ::GetLastError(), UploadStep::ReadingFile, file.m_strPath);
    }

    InternetHandle session(::InternetOpenW(kUploadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return Fail(L"InternetOpen", ::GetLastError(), UploadStep::Starting);
    SetTimeouts(session);
    ::InternetSetStatusCallbackW(session, &UploadClient::StatusCallback);

    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
    InternetHandle connection(::InternetConnectW(session, endpoint.m_strHost, endpoint.m_nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, context));
    if (!connection)
        return Fail(L"InternetConnect", ::GetLastError(), UploadStep::Connecting);
    SetTimeouts(connection);

    // Over https the certificate is checked against the system's trusted
    // roots, with its name and dates; no flag here turns any of that off.
    const DWORD flags = kRequestFlags | (endpoint.IsHttps() ? INTERNET_FLAG_SECURE : 0);
    InternetHandle hRequest(
        ::HttpOpenRequestW(connection, L"POST", endpoint.m_strPath, nullptr, nullptr, nullptr, flags, context));
    if (!hRequest)
        return Fail(L"HttpOpenRequest", ::GetLastError(), UploadStep::Connecting);
    SetTimeouts(hRequest);

    const CString boundary = MakeBoundary();
    if (!::HttpAddRequestHeadersW(hRequest, ContentTypeHeader(boundary), static_cast<DWORD>(-1),
                                  HTTP_ADDREQ_FLAG_ADD))
        return Fail(L"HttpAddRequestHeaders", ::GetLastError(), UploadStep::Starting);
    if (!authorization.IsEmpty() &&
        !::HttpAddRequestHeadersW(hRequest, authorization, static_cast<DWORD>(-1),
                                  HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
        return Fail(L"HttpAddRequestHeaders", ::GetLastError(), UploadStep::Starting);

    // The length is announced before anything is sent, and it is 32 bits
    // wide: an upload that does not fit is refused here rather than sent
    // with a length that lies.
    std::vector<ULONGLONG> fileSizes;
    const ULONGLONG bodyLength = BodyLength64(request, boundary, &fileSizes);
    if (!BodyFitsLength(bodyLength))
        return Fail(L"GetFileSize", ERROR_FILE_TOO_LARGE, UploadStep::ReadingFile,
                    request.m_files.empty() ? CString() : request.m_files.front().m_strPath);
    DWORD totalFileBytes = 0;
    for (ULONGLONG size : fileSizes)
        totalFileBytes += static_cast<DWORD>(size);

    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof(buffers);
    buffers.dwBufferTotal = static_cast<DWORD>(bodyLength);
    if (!::HttpSendRequestExW(hRequest, &buffers, nullptr, HSR_INITIATE, context))
        return Fail(L"HttpSendRequestEx", ::GetLastError(), UploadStep::Connecting);

    for (const UploadFormField& field : request.m_fields) {
        const HRESULT hr = WriteFormField(hRequest, boundary, field.m_strName, field.m_strValue);
        if (FAILED(hr))
            return AnswerAfterFailedWrite(hRequest, context, hr, response);
    }

    DWORD totalSent = 0;
    for (size_t i = 0; i < request.m_files.size(); ++i) {
        const UploadFileField& file = request.m_files[i];
        const HRESULT hr = WriteFileField(hRequest, boundary, file.m_strName, file.m_strPath,
                                          file.m_strContentType, static_cast<DWORD>(fileSizes[i]), totalSent,
                                          totalFileBytes);
        if (FAILED(hr))
            return AnswerAfterFailedWrite(hRequest, context, hr, response);
    }

    if (!WriteAll(hRequest, ClosingDelimiter(boundary)))
        return AnswerAfterFailedWrite(hRequest, context,
                                      Fail(L"InternetWriteFile", ::GetLastError(), UploadStep::SendingImage), response);

    const DWORD endStarted = ::GetTickCount();
    if (!::HttpEndRequestW(hRequest, nullptr, 0, context))
        return Fail(L"HttpEndRequest", ::GetLastError(), UploadStep::WaitingForAnswer);

    DWORD statusCode = 0;
    DWORD statusLength = sizeof(statusCode);
    if (!::HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &statusLength,
                          nullptr) ||
        statusCode == 0) {
        // WinINet under Wine completes the request when the receive deadline
        // passes, as if the server had answered with nothing at all. Without
        // a status line there was no answer: the server stayed silent until
        // the deadline, or closed without a word.
        const bool timedOut = ::GetTickCount() - endStarted + kDeadlineSlackMs >= m_dwTimeoutMs;
        return Fail(L"HttpEndRequest", timedOut ? ERROR_INTERNET_TIMEOUT : ERROR_HTTP_INVALID_SERVER_RESPONSE,
                    UploadStep::WaitingForAnswer);
    }
    response.m_nStatusCode = static_cast<int>(statusCode);

    ReadResponseHeaders(hRequest);
    ReadResponseBody(hRequest);
    // The request went through; whether the host took the image is its
    // status: a refusal carries the host's one-line reason.
    if (statusCode >= 400)
        RecordRefusal(static_cast<int>(statusCode));
    return S_OK;
}

void UploadClient::RecordRefusal(int status)
{
    m_error = UploadError();
    m_error.kind = UploadErrorKind::Refused;
    m_error.step = UploadStep::WaitingForAnswer;
    m_error.status = status;
    m_error.reason = OneLineReason(m_strResponseBody);
    m_error.host = m_pRequest ? m_pRequest->m_endpoint.HostAndPort() : CString();
}

HRESULT UploadClient::AnswerAfterFailedWrite(HINTERNET hRequest, DWORD_PTR context, HRESULT failed,
                                             UploadResponse& response)
{
    if (m_error.step != UploadStep::SendingImage)
        return failed;
    // A host that refuses an upload (no key, a full disk) may answer and
    // close before it has read the body: its answer says more than the
    // broken write.
    DWORD statusCode = 0;
    DWORD statusLength = sizeof(statusCode);
    if (::HttpEndRequestW(hRequest, nullptr, 0, context) &&
        ::HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode, &statusLength,
                         nullptr) &&
        statusCode >= 400) {
        response.m_nStatusCode = static_cast<int>(statusCode);
        ReadResponseHeaders(hRequest);
        ReadResponseBody(hRequest);
        RecordRefusal(static_cast<int>(statusCode));
        return S_OK;
    }
    // The handshake was over long before: a secure channel that breaks now
    // is a connection the host closed, not a certificate it failed.
    if (m_error.error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR)
        m_error.kind = UploadErrorKind::ConnectionLost;
    return failed;
}

HRESULT UploadClient::WriteFormField(HINTERNET hRequest, const CString& boundary, const CString& name,
                                     const CString& value)
{
    if (!WriteAll(hRequest, FormFieldHeader(boundary, name)) ||
        (!value.IsEmpty() && !WriteAll(hRequest, ToAnsi(value))) || !WriteAll(hRequest, PartTrailer()))
        return Fail(L"InternetWriteFile", ::GetLastError(), UploadStep::SendingImage);
    return S_OK;
}

HRESULT UploadClient::WriteFileField(HINTERNET hRequest, const CString& boundary, const CString& name,
                                     const CString& path, const CString& contentType, DWORD fileSize,
                                     DWORD& totalSent, DWORD totalFileBytes)
{
    if (!WriteAll(hRequest, FileFieldHeader(boundary, name, path, contentType)))
        return Fail(L"InternetWriteFile", ::GetLastError(), UploadStep::SendingImage);

    FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid())
        return Fail(L"CreateFile", ::GetLastError(), UploadStep::ReadingFile, path);

    if (m_pProgress)
        m_pProgress->OnFileBegin(path);
    const HRESULT hr = StreamFile(hRequest, path, file, fileSize, totalSent, totalFileBytes);
    if (FAILED(hr)) {
        file.Close();
        if (m_pProgress)
            m_pProgress->OnFileEnd(path, hr);
        return hr;
    }
    if (m_pProgress)
        m_pProgress->OnFileEnd(path, S_OK);
    file.Close();

    if (!WriteAll(hRequest, PartTrailer()))
        return Fail(L"InternetWriteFile", ::GetLastError(), UploadStep::SendingImage);
    return S_OK;
}

HRESULT UploadClient::StreamFile(HINTERNET hRequest, const CString& path, HANDLE hFile, DWORD fileSize,
                                 DWORD& totalSent, DWORD totalFileBytes)
{
    const DWORD size = fileSize;
    DWORD sent = 0;
    // 0 until the rate is known: a reading taken in the first moments says
    // nothing about the rest, so no time left is promised from it.
    DWORD rate = 0;
    DWORD fileSecondsLeft = 0;
    DWORD totalSecondsLeft = 0;

    const DWORD startMs = ::GetTickCount();
    DWORD lastTick = CurrentTick();
    std::vector<char> buffer(kUploadChunkBytes);

    // Measures the rate once it is known and the time left from it.
    auto measure = [&]() {
        const DWORD elapsedMs = ::GetTickCount() - startMs;
        if (!TransferRateKnown(elapsedMs, sent, size))
            return;
        // A wrapped tick counter or a burst into the socket's buffer can
        // measure 0 ms; the rate is never a divisor of 0.
        rate = static_cast<DWORD>(static_cast<ULONGLONG>(sent) * 1000 / (elapsedMs ? elapsedMs : 1));
        if (rate == 0)
            rate = 1;
        fileSecondsLeft = (size - sent) / rate;
        totalSecondsLeft = (totalFileBytes - totalSent) / rate;
    };

    if (m_pProgress)
        m_pProgress->OnProgress(path, 0, size, fileSecondsLeft, totalSent, totalFileBytes, totalSecondsLeft, rate);

    for (;;) {
        if (m_pProgress && m_pProgress->IsCancelled()) {
            m_error.kind = UploadErrorKind::Cancelled;
            return UPLOAD_E_CANCELLED;
        }

        // Never more than the announced size, whatever the file does now.
        const DWORD remaining = size - sent;
        const DWORD toRead = remaining < kUploadChunkBytes ? remaining : kUploadChunkBytes;
        DWORD read = 0;
        if (toRead > 0 && !::ReadFile(hFile, buffer.data(), toRead, &read, nullptr))
            return Fail(L"ReadFile", ::GetLastError(), UploadStep::ReadingFile, path);

        if (read == 0) {
            if (sent < size) {
                // The file shrank after its length was announced: the body
                // cannot be completed, so the upload stops.
                return Fail(L"ReadFile", ERROR_HANDLE_EOF, UploadStep::ReadingFile, path);
            }
            measure();
            if (m_pRequest && rate)
                m_pRequest->m_nBytesPerSecond = rate;
            if (m_pProgress)
                m_pProgress->OnProgress(path, size, size, fileSecondsLeft, totalSent, totalFileBytes,
                                        totalSecondsLeft, rate);
            return S_OK;
        }

        if (!WriteAll(hRequest, buffer.data(), read))
            return Fail(L"InternetWriteFile", ::GetLastError(), UploadStep::SendingImage);
        sent += read;
        totalSent += read;

        const DWORD now = CurrentTick();
        if (now == lastTick)
            continue;
        measure();
        if (m_pProgress)
            m_pProgress->OnProgress(path, sent, size, fileSecondsLeft, totalSent, totalFileBytes, totalSecondsLeft,
                                    rate);
        lastTick = now;
    }
}

HRESULT UploadClient::ReadResponseHeaders(HINTERNET hRequest)
{
    m_strResponseHeaders.Empty();
    // Deliberately small: the block is read after one retry with the size
    // the first query reports.
    std::vector<wchar_t> buffer(6, L'\0');
    DWORD length = 10;
    for (int attempt = 0;; ++attempt) {
        if (::HttpQueryInfoW(hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr))
            break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || attempt >= 8)
            return UploadFailure(error);
        length += 2;
        buffer.assign(length / sizeof(wchar_t) + 1, L'\0');
    }
    const size_t chars = length / sizeof(wchar_t);
    m_strResponseHeaders = CString(buffer.data(), static_cast<int>(chars < buffer.size() ? chars : buffer.size()));
    return S_OK;
}

HRESULT UploadClient::ReadResponseBody(HINTERNET hRequest)
{
    m_strResponseBody.Empty();
    std::string bytes;
    DWORD available = 0;
    while (bytes.size() < kMaxResponseBodyBytes && ::InternetQueryDataAvailable(hRequest, &available, 0, 0)) {
        const size_t room = kMaxResponseBodyBytes - bytes.size();
        const DWORD want = available < room ? available : static_cast<DWORD>(room);
        std::vector<char> chunk(static_cast<size_t>(want) + 1, '\0');
        DWORD read = 0;
        if (!::InternetReadFile(hRequest, chunk.data(), want, &read))
            break;  // the body only ever gives a refusal its reason
        if (read == 0)
            break;
        chunk[read] = '\0';
        // A 0 byte ends what is kept of the chunk.
        bytes.append(chunk.data(), ::strnlen(chunk.data(), read));
    }
    m_strResponseBody = FromAnsi(bytes.data(), static_cast<int>(bytes.size()));
    return S_OK;
}

void CALLBACK UploadClient::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID statusInfo,
                                           DWORD statusInfoLength)
{
    auto* client = reinterpret_cast<UploadClient*>(context);
    if (!client || !client->m_pProgress)
        return;
    client->OnInternetStatus(status, statusInfo, statusInfoLength);
}

void UploadClient::OnInternetStatus(DWORD status, LPVOID statusInfo, DWORD statusInfoLength)
{
    auto count = [&]() -> DWORD {
        if (!statusInfo || statusInfoLength < sizeof(DWORD))
            return 0;
        DWORD n = 0;
        std::memcpy(&n, statusInfo, sizeof(n));
        return n;
    };
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
        m_strHostName = statusInfo ? CString(static_cast<const wchar_t*>(statusInfo)) : CString();
        m_pProgress->OnResolvingName(m_strHostName);
        break;
    case INTERNET_STATUS_NAME_RESOLVED:
        m_pProgress->OnNameResolved(m_strHostName);
        break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
        m_pProgress->OnConnecting(m_strHostName);
        break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        m_pProgress->OnConnected(m_strHostName);
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
        m_pProgress->OnSendingRequest();
        break;
    case INTERNET_STATUS_REQUEST_SENT:
        m_pProgress->OnRequestSent(count());
        break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
        m_pProgress->OnReceivingResponse();
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        m_pProgress->OnResponseReceived(count());
        break;
    case INTERNET_STATUS_CLOSING_CONNECTION:
        m_pProgress->OnClosingConnection();
        break;
    case INTERNET_STATUS_CONNECTION_CLOSED:
        m_pProgress->OnConnectionClosed();
        break;
    default:
        break;
    }
}
