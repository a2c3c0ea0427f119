#include "upload/UploadClient.h"

#include <cstring>

#include "framework/CWinApp.h"
#include "framework/Handles.h"

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

void UploadClient::ReportError(const CString& text, UINT type) { AfxMessageBox(text, type); }

HRESULT UploadClient::Fail(const wchar_t* format, DWORD error, UINT type)
{
    CString text;
    text.Format(format, static_cast<int>(error), error);
    ReportError(text, type);
    return UploadFailure(error);
}

HRESULT UploadClient::FailField(const wchar_t* format, const CString& field, DWORD error)
{
    CString text;
    text.Format(format, field.GetString(), static_cast<int>(error), error);
    ReportError(text, MB_ICONERROR);
    return UploadFailure(error);
}

HRESULT UploadClient::Send(UploadRequest& request, UploadResponse& response)
{
    m_pRequest = &request;
    m_pResponse = &response;

    InternetHandle session(::InternetOpenW(kUploadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        return Fail(L"InternetOpen failed, error = %d (0x%x)\n", ::GetLastError());
    SetTimeouts(session);
    ::InternetSetStatusCallbackW(session, &UploadClient::StatusCallback);

    const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
    const UploadEndpoint& endpoint = request.m_endpoint;
    InternetHandle connection(::InternetConnectW(session, endpoint.m_strHost, endpoint.m_nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, context));
    if (!connection) {
        const DWORD error = ::GetLastError();
        session.Close();
        return Fail(L"InternetConnect failed, error = %d (0x%x)\n", error);
    }
    SetTimeouts(connection);

    InternetHandle hRequest(::HttpOpenRequestW(connection, L"POST", endpoint.m_strPath, nullptr, nullptr, nullptr,
                                               kRequestFlags, context));
    if (!hRequest) {
        const DWORD error = ::GetLastError();
        connection.Close();
        session.Close();
        return Fail(L"HttpOpenRequest failed, error = %d (0x%x)\n", error);
    }
    SetTimeouts(hRequest);
    auto closeAll = [&]() {
        hRequest.Close();
        connection.Close();
        session.Close();
    };

    const CString boundary = MakeBoundary();
    if (!::HttpAddRequestHeadersW(hRequest, ContentTypeHeader(boundary), static_cast<DWORD>(-1),
                                  HTTP_ADDREQ_FLAG_ADD)) {
        const DWORD error = ::GetLastError();
        closeAll();
        return Fail(L"HttpAddRequestHeaders failed, error = %d (0x%x)\n", error);
    }

    // The length is announced before anything is sent, and it is 32 bits
    // wide: an upload that does not fit is refused here rather than sent
    // with a length that lies.
    std::vector<ULONGLONG> fileSizes;
    const ULONGLONG bodyLength = BodyLength64(request, boundary, &fileSizes);
    if (!BodyFitsLength(bodyLength)) {
        closeAll();
        return Fail(L"The file is too large to upload: files and the whole upload must stay below 4 GB, "
                    L"error = %d (0x%x)\n",
                    ERROR_FILE_TOO_LARGE);
    }
    DWORD totalFileBytes = 0;
    for (ULONGLONG size : fileSizes)
        totalFileBytes += static_cast<DWORD>(size);

    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof(buffers);
    buffers.dwBufferTotal = static_cast<DWORD>(bodyLength);
    if (!::HttpSendRequestExW(hRequest, &buffers, nullptr, HSR_INITIATE, context)) {
        const DWORD error = ::GetLastError();
        closeAll();
        return Fail(L"HttpSendRequestEx failed, error = %d (0x%x)\n", error);
    }

    for (const UploadFormField& field : request.m_fields) {
        const HRESULT hr = WriteFormField(hRequest, boundary, field.m_strName, field.m_strValue);
        if (FAILED(hr))
            return hr;
    }

    DWORD totalSent = 0;
    for (size_t i = 0; i < request.m_files.size(); ++i) {
        const UploadFileField& file = request.m_files[i];
        const HRESULT hr = WriteFileField(hRequest, boundary, file.m_strName, file.m_strPath,
                                          file.m_strContentType, static_cast<DWORD>(fileSizes[i]), totalSent,
                                          totalFileBytes);
        if (FAILED(hr))
            return hr;
    }

    if (!WriteAll(hRequest, ClosingDelimiter(boundary))) {
        const DWORD error = ::GetLastError();
        closeAll();
        return Fail(L"InternetWriteFile bodyTrailer failed, error = %d (0x%x)\n", error);
    }

    const DWORD endStarted = ::GetTickCount();
    if (!::HttpEndRequestW(hRequest, nullptr, 0, context)) {
        const DWORD error = ::GetLastError();
        closeAll();
        // A server that took the body and never answered is worth telling.
        if (error == ERROR_INTERNET_TIMEOUT)
            return Fail(L"HttpEndRequest failed, error = %d (0x%x)\n", error);
        return UploadFailure(error);
    }

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
        closeAll();
        return Fail(L"HttpEndRequest failed, error = %d (0x%x)\n",
                    timedOut ? ERROR_INTERNET_TIMEOUT : ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    response.m_nStatusCode = static_cast<int>(statusCode);

    ReadResponseHeaders(hRequest);
    ReadResponseBody(hRequest);
    return S_OK;
}

HRESULT UploadClient::WriteFormField(HINTERNET hRequest, const CString& boundary, const CString& name,
                                     const CString& value)
{
    if (!WriteAll(hRequest, FormFieldHeader(boundary, name)))
        return FailField(L"InternetWriteFile header failed, field = %s, error = %d (0x%x)\n", name,
                         ::GetLastError());
    if (!value.IsEmpty() && !WriteAll(hRequest, ToAnsi(value)))
        return FailField(L"InternetWriteFile value failed, field = %s, error = %d (0x%x)\n", name,
                         ::GetLastError());
    if (!WriteAll(hRequest, PartTrailer()))
        return FailField(L"InternetWriteFile trailer failed, field = %s, error = %d (0x%x)\n", name,
                         ::GetLastError());
    return S_OK;
}

HRESULT UploadClient::WriteFileField(HINTERNET hRequest, const CString& boundary, const CString& name,
                                     const CString& path, const CString& contentType, DWORD fileSize,
                                     DWORD& totalSent, DWORD totalFileBytes)
{
    if (!WriteAll(hRequest, FileFieldHeader(boundary, name, path, contentType)))
        return FailField(L"InternetWriteFile fileheader failed, field = %s, error = %d (0x%x)\n", name,
                         ::GetLastError());

    FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid())
        return Fail(L"CreateFile failed, error = %d (0x%x)\n", ::GetLastError());

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
        return FailField(L"InternetWriteFile fileTrailer failed, field = %s, error = %d (0x%x)\n", name,
                         ::GetLastError());
    return S_OK;
}

HRESULT UploadClient::StreamFile(HINTERNET hRequest, const CString& path, HANDLE hFile, DWORD fileSize,
                                 DWORD& totalSent, DWORD totalFileBytes)
{
    const DWORD size = fileSize;
    DWORD sent = 0;
    // A rate of 0 is never a divisor.
    DWORD rate = m_pRequest && m_pRequest->m_nBytesPerSecond ? m_pRequest->m_nBytesPerSecond : 1;

    const DWORD startTick = CurrentTick();
    DWORD lastTick = startTick;
    std::vector<char> buffer(kUploadChunkBytes);

    DWORD fileSecondsLeft = size / rate;
    DWORD totalSecondsLeft = totalFileBytes / rate;
    if (m_pProgress)
        m_pProgress->OnProgress(path, 0, size, fileSecondsLeft, totalSent, totalFileBytes, totalSecondsLeft, rate);

    for (;;) {
        if (m_pProgress && m_pProgress->IsCancelled())
            return UPLOAD_E_CANCELLED;

        // Never more than the announced size, whatever the file does now.
        const DWORD remaining = size - sent;
        const DWORD toRead = remaining < kUploadChunkBytes ? remaining : kUploadChunkBytes;
        DWORD read = 0;
        if (toRead > 0 && !::ReadFile(hFile, buffer.data(), toRead, &read, nullptr))
            return Fail(L"ReadFile failed, error = %d (0x%x)\n", ::GetLastError());

        if (read == 0) {
            if (sent < size) {
                // The file shrank after its length was announced: the body
                // cannot be completed, so the upload stops.
                return Fail(L"ReadFile failed, error = %d (0x%x)\n", ERROR_HANDLE_EOF);
            }
            if (m_pRequest)
                m_pRequest->m_nBytesPerSecond = rate;
            if (m_pProgress)
                m_pProgress->OnProgress(path, size, size, fileSecondsLeft, totalSent, totalFileBytes,
                                        totalSecondsLeft, rate);
            return S_OK;
        }

        if (!WriteAll(hRequest, buffer.data(), read)) {
            const DWORD error = ::GetLastError();
            // A server that stopped reading is worth telling.
            if (error == ERROR_INTERNET_TIMEOUT)
                return Fail(L"InternetWriteFile failed, error = %d (0x%x)\n", error);
            return UploadFailure(error);
        }
        sent += read;
        totalSent += read;

        const DWORD now = CurrentTick();
        if (now == lastTick)
            continue;
        // Bytes per second from half-second ticks; a wrapped tick counter or
        // a slow start measures 0, which would then divide.
        rate = static_cast<DWORD>(static_cast<ULONGLONG>(sent) * 2 / (now - startTick));
        if (rate == 0)
            rate = 1;
        fileSecondsLeft = (size - sent) / rate;
        totalSecondsLeft = (totalFileBytes - totalSent) / rate;
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
            return Fail(L"HttpQueryInfo failed, error = %d (0x%x)\n", error, 0);
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
            return Fail(L"InternetReadFile failed, error = %d (0x%x)\n", ::GetLastError());
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
