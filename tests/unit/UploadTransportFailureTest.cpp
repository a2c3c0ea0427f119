// The transport when things go wrong: nothing listening, a missing or changing
// file, a host that hangs up or never answers. Port 80 as in
// UploadTransportTest.cpp.
#include "FakeHttpServer.h"
#include "UploadTestSupport.h"

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
