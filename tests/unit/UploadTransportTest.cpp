// The transport and the upload job against the fake image host of
// FakeHttpServer.h on 127.0.0.1:80; where port 80 cannot be had, these tests
// skip.
#include "FakeHttpServer.h"
#include "MessageBoxAnswerer.h"
#include "TestApp.h"
#include "TestSupport.h"
#include "framework/CWnd.h"
#include "ui/TextProgressCtrl.h"
#include "upload/UploadClient.h"
#include "upload/UploadJob.h"
#include "upload/UploadRequest.h"

// Readable failure output for the program's strings.
static void PrintTo(const CString& s, std::ostream* os) { *os << '"' << ToAnsi(s, CP_UTF8) << '"'; }

namespace {

// The product's client, without a sink unless given one; what went wrong is
// in its m_error.
class RecordingClient : public UploadClient {
public:
    explicit RecordingClient(UploadProgress* pProgress = nullptr, DWORD timeoutMs = kUploadTimeoutMs)
        : UploadClient(pProgress, timeoutMs)
    {
    }
};

struct ProgressReport {
    DWORD fileSent, fileSize, fileSecondsLeft, totalSent, totalSize, totalSecondsLeft, rate;
    ULONGLONG when;
};

class RecordingSink : public UploadProgress {
public:
    void OnResolvingName(LPCWSTR host) override { m_events.push_back(L"resolving " + CString(host)); }
    void OnNameResolved(LPCWSTR host) override { m_events.push_back(L"resolved " + CString(host)); }
    void OnConnecting(LPCWSTR host) override { m_events.push_back(L"connecting " + CString(host)); }
    void OnConnected(LPCWSTR host) override { m_events.push_back(L"connected " + CString(host)); }
    void OnFileBegin(LPCWSTR path) override { m_events.push_back(L"begin " + CString(path)); }
    void OnFileEnd(LPCWSTR path, HRESULT hr) override
    {
        CString e;
        e.Format(L"end %s 0x%08X", path, static_cast<unsigned>(hr));
        m_events.push_back(e);
    }
    void OnProgress(LPCWSTR, DWORD fileSent, DWORD fileSize, DWORD fileLeft, DWORD totalSent, DWORD totalSize,
                    DWORD totalLeft, DWORD rate) override
    {
        m_reports.push_back({fileSent, fileSize, fileLeft, totalSent, totalSize, totalLeft, rate, ::GetTickCount64()});
        m_events.push_back(L"progress");
    }
    bool IsCancelled() override { return m_bCancel; }

    bool Has(const CString& event) const
    {
        for (const CString& e : m_events)
            if (e == event)
                return true;
        return false;
    }

    std::vector<CString> m_events;
    std::vector<ProgressReport> m_reports;
    bool m_bCancel = false;
};

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    unsigned x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

std::string HeaderValue(const std::string& head, const std::string& name)
{
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + 4 + name.size();
    return head.substr(start, head.find("\r\n", start) - start);
}

// The body the server must have received for one file uploaded as "/U" does.
std::string ExpectedUploadBody(const std::string& boundary, const CString& path, const std::string& contents)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" + ToAnsi(path) +
           "\"\r\n" + "Content-Type: application/octet-stream\r\n\r\n" + contents + "\r\n--" + boundary + "--\r\n";
}

UploadRequest UploadModeRequest(const CString& path)
{
    UploadRequest request;
    EXPECT_TRUE(UploadEndpoint::Parse(L"http://localhost/upload.php", &request.m_endpoint));
    request.AddFile(L"file", path, L"application/octet-stream");
    return request;
}

// Uploads one file of the given contents and checks what arrived.
void ExpectFileArrivesIntact(const std::string& contents)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/abc.png\r\n"));
    START_SERVER(server);
    TempFile file(contents);
    RecordingClient client;
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    ASSERT_EQ(client.Send(request, response), S_OK);
    EXPECT_FALSE(client.m_error.Failed());
    EXPECT_EQ(response.m_nStatusCode, 200);
    server.Stop();

    const std::vector<Received> got = server.Requests();
    ASSERT_EQ(got.size(), 1u);
    const Received& r = got[0];
    EXPECT_EQ(r.head.find("POST /upload.php HTTP/1.1\r\n"), 0u) << r.head;
    EXPECT_EQ(HeaderValue(r.head, "User-Agent"), "OrvoCapture/1.8");
    const std::string contentType = HeaderValue(r.head, "Content-Type");
    ASSERT_EQ(contentType.find("multipart/form-data; boundary="), 0u) << r.head;
    const std::string boundary = contentType.substr(30);
    EXPECT_EQ(boundary.size(), 39u);
    EXPECT_EQ(HeaderValue(r.head, "Content-Length"), std::to_string(r.body.size()));
    EXPECT_EQ(r.body.size(), 190 + ToAnsi(file.Path()).size() + contents.size());
    EXPECT_TRUE(r.body == ExpectedUploadBody(boundary, file.Path(), contents)) << "body differs";
}

}  // namespace

// --- files arrive intact ----------------------------------------------------

TEST(UploadTransport, EmptyFileArrivesWithTheRightLengthAndAgent) { ExpectFileArrivesIntact(std::string()); }

TEST(UploadTransport, SmallFileArrivesIntact) { ExpectFileArrivesIntact(Pattern(5000)); }

TEST(UploadTransport, MultiMegabyteFileArrivesIntact) { ExpectFileArrivesIntact(Pattern(6 * 1024 * 1024 + 123)); }

TEST(UploadTransport, SelfDestructFieldGoesFirstOnTheWire)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/x.png\r\n"));
    START_SERVER(server);
    TempFile file(Pattern(100));
    RecordingClient client;
    UploadRequest request = UploadModeRequest(file.Path());
    request.AddSelfDestructTimeout(L"3600");
    UploadResponse response;
    ASSERT_EQ(client.Send(request, response), S_OK);
    server.Stop();
    const std::vector<Received> got = server.Requests();
    ASSERT_EQ(got.size(), 1u);
    const std::string boundary = HeaderValue(got[0].head, "Content-Type").substr(30);
    const std::string field = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"selfdestruct_timeout\"\r\n\r\n3600\r\n";
    EXPECT_EQ(got[0].body, field + ExpectedUploadBody(boundary, file.Path(), Pattern(100)));
}

// --- what comes back --------------------------------------------------------

TEST(UploadTransport, HeaderBlockStatusAndBodyAreReadBack)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/abc.png\r\nX-Extra: 1\r\n", "<p>done</p>"));
    START_SERVER(server);
    TempFile file(Pattern(10));
    RecordingClient client;
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    ASSERT_EQ(client.Send(request, response), S_OK);
    const CString& h = client.m_strResponseHeaders;
    EXPECT_EQ(h.Find(L"HTTP/1.1 200 OK\r\n"), 0) << ToAnsi(h);
    EXPECT_GE(h.Find(L"\r\nUploaded: http://127.0.0.1/i/abc.png\r\n"), 0) << ToAnsi(h);
    EXPECT_GE(h.Find(L"\r\nX-Extra: 1\r\n"), 0);
    EXPECT_EQ(client.m_strResponseBody, L"<p>done</p>");
    EXPECT_EQ(ExtractUploadedAddress(h), L"http://127.0.0.1/i/abc.png");
}

TEST(UploadTransport, ResponseBodyStopsAtAZeroByteAndAtOneMebibyte)
{
    {
        FakeServer server(HttpResponse("", std::string("abc\0def", 7)));
        START_SERVER(server);
        TempFile file(Pattern(10));
        RecordingClient client;
        UploadRequest request = UploadModeRequest(file.Path());
        UploadResponse response;
        ASSERT_EQ(client.Send(request, response), S_OK);
        EXPECT_EQ(client.m_strResponseBody, L"abc");
    }
    {
        FakeServer server(HttpResponse("", std::string(3 * 1024 * 1024, 'x')));
        START_SERVER(server);
        TempFile file(Pattern(10));
        RecordingClient client;
        UploadRequest request = UploadModeRequest(file.Path());
        UploadResponse response;
        ASSERT_EQ(client.Send(request, response), S_OK);
        EXPECT_EQ(client.m_strResponseBody.GetLength(), static_cast<int>(kMaxResponseBodyBytes));
        EXPECT_FALSE(client.m_error.Failed());
    }
}

TEST(UploadTransport, StatusCodeIsStoredWhateverItIs)
{
    FakeServer server("HTTP/1.1 500 Broken\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    START_SERVER(server);
    TempFile file(Pattern(10));
    RecordingClient client;
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    EXPECT_EQ(client.Send(request, response), S_OK);
    EXPECT_EQ(response.m_nStatusCode, 500);
    EXPECT_EQ(client.m_strResponseHeaders.Find(L"HTTP/1.1 500 Broken\r\n"), 0);
}

// --- progress and notifications ---------------------------------------------

TEST(UploadTransport, SinkHearsTheConnectionAndTheFileFromStartToEnd)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    TempFile file(Pattern(56000));
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    ASSERT_EQ(client.Send(request, response), S_OK);

    // The connection events carry the name of the last name resolution;
    // WinINet skips resolving a host it has resolved before in this process,
    // and then they carry an empty name.
    const CString host = sink.Has(L"resolving localhost") ? L"localhost" : L"";
    EXPECT_TRUE(sink.Has(L"connecting " + host));
    EXPECT_TRUE(sink.Has(L"connected " + host));
    EXPECT_EQ(client.m_strHostName, host);
    ASSERT_GE(sink.m_reports.size(), 2u);
    // Before the first byte nothing is known of the rate: no time left yet.
    const ProgressReport& first = sink.m_reports.front();
    EXPECT_EQ(first.fileSent, 0u);
    EXPECT_EQ(first.fileSize, 56000u);
    EXPECT_EQ(first.fileSecondsLeft, 0u);
    EXPECT_EQ(first.totalSize, 56000u);
    EXPECT_EQ(first.rate, 0u);
    const ProgressReport& last = sink.m_reports.back();
    EXPECT_EQ(last.fileSent, 56000u);
    EXPECT_EQ(last.fileSize, 56000u);
    EXPECT_EQ(last.totalSent, 56000u);
    // Begin, progress..., end, in that order, connection events before them.
    size_t begin = sink.m_events.size(), end = 0, connected = sink.m_events.size();
    for (size_t i = 0; i < sink.m_events.size(); ++i) {
        if (sink.m_events[i] == L"begin " + file.Path())
            begin = i;
        if (sink.m_events[i].Find(L"end ") == 0)
            end = i;
        if (sink.m_events[i] == L"connected " + host && connected == sink.m_events.size())
            connected = i;
    }
    EXPECT_LT(connected, begin);
    EXPECT_LT(begin, end);
    EXPECT_EQ(sink.m_events[end], L"end " + file.Path() + L" 0x00000000");
    EXPECT_EQ(request.m_nBytesPerSecond, last.rate);
}

TEST(UploadTransport, EmptyFileReportsZeroOfZeroTwice)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    TempFile file(std::string{});
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    ASSERT_EQ(client.Send(request, response), S_OK);
    ASSERT_EQ(sink.m_reports.size(), 2u);
    for (const ProgressReport& r : sink.m_reports) {
        EXPECT_EQ(r.fileSent, 0u);
        EXPECT_EQ(r.fileSize, 0u);
    }
}

TEST(UploadTransport, ProgressIsReportedAtMostOncePerHalfSecondTick)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    server.SetReadDelay(8000);  // about 8 MB/s
    START_SERVER(server);
    const std::string contents = Pattern(16 * 1024 * 1024);
    TempFile file(contents);
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_EQ(client.Send(request, response), S_OK);
    const ULONGLONG elapsed = ::GetTickCount64() - started;

    const auto& reports = sink.m_reports;
    ASSERT_GE(reports.size(), 3u) << "a transfer of " << elapsed << " ms had no report in between";
    EXPECT_LE(reports.size(), 2 + elapsed / 500 + 1);
    for (size_t i = 1; i + 1 < reports.size(); ++i) {
        EXPECT_GE(reports[i].fileSent, reports[i - 1].fileSent);
        EXPECT_GT(reports[i].rate, 0u);
        EXPECT_EQ(reports[i].fileSent, reports[i].totalSent);
        // Time left agrees with the measured rate.
        EXPECT_EQ(reports[i].fileSecondsLeft, (reports[i].fileSize - reports[i].fileSent) / reports[i].rate);
        if (i >= 2) {
            EXPECT_GE(reports[i].when - reports[i - 1].when, 250u) << "two reports within one tick";
        }
    }
    EXPECT_EQ(reports.back().fileSent, contents.size());
    server.Stop();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body.size(), 190 + ToAnsi(file.Path()).size() + contents.size());
}

TEST(UploadTransport, CancellingStopsBeforeTheFirstChunk)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    TempFile file(Pattern(100000));
    RecordingSink sink;
    sink.m_bCancel = true;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    EXPECT_EQ(client.Send(request, response), UPLOAD_E_CANCELLED);
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::Cancelled);
    EXPECT_TRUE(UploadErrorText(client.m_error).IsEmpty()) << "the user who stopped it needs no message";
    ASSERT_EQ(sink.m_reports.size(), 1u);
    EXPECT_EQ(sink.m_reports[0].fileSent, 0u);
    EXPECT_TRUE(sink.Has(L"end " + file.Path() + L" 0x80040301"));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    EXPECT_EQ(response.m_nStatusCode, -1);
}

// --- failures ---------------------------------------------------------------

TEST(UploadTransportFailure, NothingListeningIsReportedWhenTheRequestStarts)
{
    // Binding proves we may use the port; closing it leaves nobody there.
    {
        FakeServer probe(HttpResponse(""));
        START_SERVER(probe);
    }
    TempFile file(Pattern(1000));
    RecordingClient client;
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    const HRESULT hr = client.Send(request, response);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_CODE(hr), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::NothingListening);
    EXPECT_EQ(client.m_error.api, L"HttpSendRequestEx");
    EXPECT_EQ(client.m_error.host, L"localhost:80");
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
}

TEST(UploadTransportFailure, MissingFileIsReportedWithItsPathBeforeTheHostHearsOfIt)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(TempDirPath(L"orvo-no-such-file.png"));
    UploadResponse response;
    const HRESULT hr = client.Send(request, response);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::FileMissing);
    EXPECT_EQ(client.m_error.path, TempDirPath(L"orvo-no-such-file.png"));
    EXPECT_EQ(client.m_error.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    EXPECT_TRUE(sink.m_reports.empty());
    server.Stop();
    EXPECT_EQ(server.Connections(), 0) << "the host heard of a file that was not there";
}

TEST(UploadTransportFailure, ServerClosingHalfWayEndsTheUploadWithoutAnAnswer)
{
    FakeServer server("", FakeServer::Mode::CloseHalfWay);
    START_SERVER(server);
    TempFile file(Pattern(8 * 1024 * 1024));
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    const HRESULT hr = client.Send(request, response);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(client.m_error.step, UploadStep::SendingImage);
    EXPECT_TRUE(client.m_error.kind == UploadErrorKind::ConnectionLost || client.m_error.kind == UploadErrorKind::Other)
        << ToAnsi(UploadErrorText(client.m_error));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    EXPECT_EQ(response.m_nStatusCode, -1);
    CString end;
    end.Format(L"end %s 0x%08X", file.Path().GetString(), static_cast<unsigned>(hr));
    EXPECT_TRUE(sink.Has(end));
}

TEST(UploadTransportFailure, FilesOf4GiBOrMoreAreRefusedBeforeAnythingIsSent)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    const ULONGLONG sizes[] = {0x100000000ull, 0x100000000ull + 10, 0xFFFFFFFFull - 100};
    for (ULONGLONG size : sizes) {
        TempFile file(size, L"orvo-huge.bin");
        RecordingClient client;
        UploadRequest request = UploadModeRequest(file.Path());
        UploadResponse response;
        const HRESULT hr = client.Send(request, response);
        EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)) << size;
        EXPECT_EQ(client.m_error.kind, UploadErrorKind::FileTooLarge) << size;
        EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    }
    server.Stop();
    EXPECT_EQ(server.Connections(), 0) << "something was sent";
}

namespace {

// Changes the file to send while the connection is made, after its length
// has been announced.
class ResizingSink : public UploadProgress {
public:
    ResizingSink(const CString& path, LONGLONG newSize) : m_path(path), m_newSize(newSize) {}
    void OnConnected(LPCWSTR) override
    {
        const HANDLE h = ::CreateFileW(m_path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size{};
        size.QuadPart = m_newSize;
        ::SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        m_bResized = ::SetEndOfFile(h) != FALSE;
        ::CloseHandle(h);
    }
    CString m_path;
    LONGLONG m_newSize;
    bool m_bResized = false;
};

}  // namespace

TEST(UploadTransportFailure, FileThatGrowsAfterTheLengthWasAnnouncedIsSentAsAnnounced)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    const std::string contents = Pattern(100000);
    TempFile file(contents);
    ResizingSink sink(file.Path(), 250000);
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    EXPECT_EQ(client.Send(request, response), S_OK);
    EXPECT_TRUE(sink.m_bResized);
    server.Stop();
    ASSERT_EQ(server.Requests().size(), 1u);
    const Received r = server.Requests()[0];
    const std::string boundary = HeaderValue(r.head, "Content-Type").substr(30);
    const std::string expected = ExpectedUploadBody(boundary, file.Path(), contents);
    EXPECT_EQ(r.body.size(), expected.size());
    EXPECT_EQ(HeaderValue(r.head, "Content-Length"), std::to_string(expected.size()));
    EXPECT_TRUE(r.body == expected) << "the announced bytes, no more";
}

TEST(UploadTransportFailure, FileThatShrinksAfterTheLengthWasAnnouncedStopsTheUpload)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    TempFile file(Pattern(100000));
    ResizingSink sink(file.Path(), 40000);
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    EXPECT_EQ(client.Send(request, response), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
    EXPECT_TRUE(sink.m_bResized);
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::FileUnreadable);
    EXPECT_EQ(client.m_error.api, L"ReadFile");
    EXPECT_EQ(client.m_error.error, static_cast<DWORD>(ERROR_HANDLE_EOF));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty()) << "no answer to a body that was cut short";
}

TEST(UploadTransportFailure, ServerThatNeverAnswersTimesOutAndIsReported)
{
    // The fake holds the connection for two minutes at most; a client
    // without a deadline would only come back then, with another error.
    FakeServer server("", FakeServer::Mode::NeverAnswer);
    START_SERVER(server);
    TempFile file(Pattern(5000));
    RecordingClient client(nullptr, 1500);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    EXPECT_EQ(client.Send(request, response), HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::TimedOut);
    EXPECT_EQ(client.m_error.step, UploadStep::WaitingForAnswer);
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    EXPECT_EQ(response.m_nStatusCode, -1);
    server.Stop();
    ASSERT_EQ(server.Requests().size(), 1u) << "the whole request went out before the silence";
    EXPECT_EQ(server.Requests()[0].body.size(), 190 + ToAnsi(file.Path()).size() + 5000);
}

TEST(UploadTransportFailure, ServerThatClosesWithoutAnAnswerIsReported)
{
    FakeServer server("");  // takes the whole request, then hangs up
    START_SERVER(server);
    TempFile file(Pattern(5000));
    RecordingClient client(nullptr, 20000);
    UploadRequest request = UploadModeRequest(file.Path());
    UploadResponse response;
    const HRESULT hr = client.Send(request, response);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(client.m_error.api, L"HttpEndRequest");
    EXPECT_EQ(client.m_error.kind, UploadErrorKind::ConnectionLost) << ToAnsi(UploadErrorText(client.m_error));
    EXPECT_NE(hr, HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT)) << "no deadline ran out";
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
}

TEST(UploadTransportFailure, HostThatCannotBeResolvedIsReported)
{
    TempFile file(Pattern(10));
    RecordingClient client;
    UploadRequest request;
    request.AddFile(L"file", file.Path(), L"application/octet-stream");  // no URL set: empty host
    UploadResponse response;
    EXPECT_TRUE(FAILED(client.Send(request, response)));
    EXPECT_TRUE(client.m_error.Failed());
    EXPECT_FALSE(UploadErrorText(client.m_error).IsEmpty());
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
}

// --- the address in the answer ------------------------------------------------

TEST(UploadAddress, TakenFromTheFirstUploadedLineWithoutItsLineEnd)
{
    bool found = false;
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 OK\r\nUploaded: http://h/i/a.png\r\nX: y\r\n\r\n", &found),
              L"http://h/i/a.png");
    EXPECT_TRUE(found);
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 OK\r\nUploaded: http://h/1\r\nUploaded: http://h/2\r\n"),
              L"http://h/1");
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 OK\r\nUploaded:    http://h/x   \r\n"), L"http://h/x");
}

TEST(UploadAddress, NoneWithoutTheExactHeaderOrWithoutALineEnd)
{
    bool found = true;
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 OK\r\nuploaded: http://h/a\r\n", &found), L"");
    EXPECT_FALSE(found);
    EXPECT_EQ(ExtractUploadedAddress(L"", &found), L"");
    EXPECT_FALSE(found);
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 OK\r\nUploaded: http://h/a", &found), L"");
    EXPECT_TRUE(found) << "present but unterminated still counts as present";
}

TEST(UploadAddress, TheStatusLineIsSearchedToo)
{
    bool found = false;
    EXPECT_EQ(ExtractUploadedAddress(L"HTTP/1.1 200 Uploaded: http://h/s\r\nUploaded: http://h/t\r\n", &found),
              L"http://h/s");
    EXPECT_TRUE(found);
}

// --- the job ------------------------------------------------------------------

namespace {

class JobWindow {
public:
    JobWindow() { m_bar.Create(WS_VISIBLE | PBS_SMOOTH, CRect(10, 10, 560, 60), &HostWindow(), 123); }
    CTextProgressCtrl m_bar;
};

}  // namespace

TEST(UploadJob, TemporaryFileGoesAfterASuccessfulUploadAndTheAddressComesBack)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/job.png\r\n"));
    START_SERVER(server);
    JobWindow window;
    auto* file = new TempFile(Pattern(3000), L"orvo-job.png");
    const CString path = file->Path();
    TemporaryFileUploadSteps steps(window.m_bar, path);
    const int seconds = 3600;
    const UploadOutcome outcome = RunUploadJob(window.m_bar, path, &seconds, &steps);
    delete file;
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(outcome.m_image.m_strAddress, L"http://127.0.0.1/i/job.png");
    EXPECT_TRUE(outcome.m_image.m_strDeletionUrl.IsEmpty()) << "this host gave none";
    EXPECT_EQ(::GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(window.m_bar.IsWindowVisible()) << "the bar is hidden again";
    server.Stop();
    const std::vector<Received> got = server.Requests();
    ASSERT_EQ(got.size(), 1u);
    // The job's request: the default endpoint, the self-destruct field first.
    EXPECT_EQ(got[0].head.find("POST /upload.php HTTP/1.1\r\n"), 0u);
    EXPECT_NE(got[0].body.find("name=\"selfdestruct_timeout\"\r\n\r\n3600\r\n"), std::string::npos);
    EXPECT_LT(got[0].body.find("selfdestruct_timeout"), got[0].body.find("name=\"file\""));
    EXPECT_NE(got[0].body.find("Content-Type: application/octet-stream\r\n"), std::string::npos);
    // The bar shows the last progress figures of the file.
    EXPECT_EQ(window.m_bar.GetWindowText().Find(L"100%   "), 0) << ToAnsi(window.m_bar.GetWindowText());
}

TEST(UploadJob, TemporaryFileGoesWhenTheAnswerHasNoAddress)
{
    FakeServer server(HttpResponse("X-Other: 1\r\n"));
    START_SERVER(server);
    JobWindow window;
    TempFile file(Pattern(3000), L"orvo-job2.png");
    TemporaryFileUploadSteps steps(window.m_bar, file.Path());
    const UploadOutcome outcome = RunUploadJob(window.m_bar, file.Path(), nullptr, &steps);
    EXPECT_FALSE(outcome.m_bFound);
    EXPECT_EQ(outcome.m_error.kind, UploadErrorKind::NoAddress);
    EXPECT_EQ(::GetFileAttributesW(file.Path()), INVALID_FILE_ATTRIBUTES);
}

TEST(UploadJob, RefusalCarriesTheStatusAndTheHostsReasonAndDeletionAddressComesBack)
{
    {
        FakeServer server("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Bearer\r\nContent-Length: 27\r\n"
                          "Connection: close\r\n\r\nupload key missing or wrong");
        START_SERVER(server);
        JobWindow window;
        TempFile file(Pattern(3000), L"orvo-job5.png");
        const UploadOutcome outcome = RunUploadJob(window.m_bar, file.Path());
        EXPECT_FALSE(outcome.Succeeded());
        EXPECT_EQ(outcome.m_error.kind, UploadErrorKind::Refused);
        EXPECT_EQ(outcome.m_error.status, 401);
        EXPECT_EQ(outcome.m_error.reason, L"upload key missing or wrong");
    }
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/d.png\r\nDeletion-Url: http://127.0.0.1/delete/t0k\r\n"));
    START_SERVER(server);
    JobWindow window;
    TempFile file(Pattern(3000), L"orvo-job6.png");
    const UploadOutcome outcome = RunUploadJob(window.m_bar, file.Path());
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_EQ(outcome.m_image.m_strDeletionUrl, L"http://127.0.0.1/delete/t0k");
}

TEST(UploadJob, KeyGoesAlongToThisComputerAndNeverOverPlainHttpElsewhere)
{
    TestApp app;
    app.WriteProfileString(L"", L"UploadKey", L"k3y");
    {
        FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/k.png\r\n"));
        START_SERVER(server);
        JobWindow window;
        TempFile file(Pattern(300), L"orvo-job7.png");
        EXPECT_TRUE(RunUploadJob(window.m_bar, file.Path()).Succeeded());
        server.Stop();
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(HeaderValue(server.Requests()[0].head, "Authorization"), "Bearer k3y");
    }
    app.WriteProfileString(L"", L"UploadUrl", L"http://127.0.0.2/upload.php");
    JobWindow window;
    TempFile file(Pattern(300), L"orvo-job8.png");
    const UploadOutcome outcome = RunUploadJob(window.m_bar, file.Path());
    EXPECT_EQ(outcome.m_error.kind, UploadErrorKind::KeyNeedsHttps);
    EXPECT_EQ(UploadErrorText(outcome.m_error).Find(L"k3y"), -1);
}

TEST(UploadJob, TemporaryFileGoesWhenNothingListensAndTheFailureIsToldInPlainWords)
{
    {
        FakeServer probe(HttpResponse(""));
        START_SERVER(probe);
    }
    JobWindow window;
    TempFile file(Pattern(3000), L"orvo-job3.png");
    TemporaryFileUploadSteps steps(window.m_bar, file.Path());
    UploadOutcome outcome;
    std::vector<CString> shown;
    {
        MessageBoxAnswerer answerer;
        outcome = RunUploadJob(window.m_bar, file.Path(), nullptr, &steps);
        shown = answerer.Texts();
    }
    EXPECT_TRUE(outcome.m_image.IsEmpty());
    EXPECT_EQ(::GetFileAttributesW(file.Path()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(shown.empty()) << "the job shows nothing; its caller tells the user";
    EXPECT_EQ(UploadErrorText(outcome.m_error), L"Nothing answered at localhost:80. Start the image host or set its "
                                                L"address in Settings. (HttpSendRequestEx, error 12029)");
}

TEST(UploadJob, TemporaryFileGoesWhenTheServerClosesHalfWay)
{
    FakeServer server("", FakeServer::Mode::CloseHalfWay);
    START_SERVER(server);
    JobWindow window;
    TempFile file(Pattern(6 * 1024 * 1024), L"orvo-job4.png");
    TemporaryFileUploadSteps steps(window.m_bar, file.Path());
    EXPECT_TRUE(RunUploadJob(window.m_bar, file.Path(), nullptr, &steps).m_image.IsEmpty());
    EXPECT_EQ(::GetFileAttributesW(file.Path()), INVALID_FILE_ATTRIBUTES);
}

TEST(UploadEndpoint, SettingsValueReplacesTheConstantOnlyWhenItIsAcceptable)
{
    TestApp app;
    EXPECT_EQ(UploadEndpoint::Current().m_strHost, L"localhost");
    EXPECT_EQ(UploadEndpoint::Current().m_strPath, L"/upload.php");
    EXPECT_FALSE(app.KeyExists()) << "reading the endpoint must not create the settings key";

    app.WriteProfileString(L"", L"UploadUrl", L"http://images.internal/in/upload.php");
    EXPECT_EQ(UploadEndpoint::Current().m_strHost, L"images.internal");
    EXPECT_EQ(UploadEndpoint::Current().m_strPath, L"/in/upload.php");
    for (const wchar_t* refused : {L"ftp://images.internal/upload.php", L"http://images.internal/upload.php?k=1"}) {
        app.WriteProfileString(L"", L"UploadUrl", refused);
        EXPECT_EQ(UploadEndpoint::Current().m_strHost, L"localhost") << ToAnsi(refused);
    }
}
