// Every way an upload can fail on the way, against the fake image host of
// FakeHttpServer.h on 127.0.0.1:80: each ends the upload, and those a user
// must know of are reported. Where port 80 cannot be had, these tests skip.
#include "UploadTestSupport.h"

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
    ASSERT_EQ(client.m_errors.size(), 1u);
    const DWORD error = HRESULT_CODE(hr);
    CString expected;
    expected.Format(L"HttpSendRequestEx failed, error = %d (0x%x)\n", static_cast<int>(error), error);
    EXPECT_EQ(client.m_errors[0].first, expected);
    EXPECT_EQ(client.m_errors[0].second, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
}

TEST(UploadTransportFailure, MissingFileIsReportedWithError2AfterItsPartHeader)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/a.png\r\n"));
    START_SERVER(server);
    RecordingSink sink;
    RecordingClient client(&sink);
    UploadRequest request = UploadModeRequest(TempDirPath(L"orvo-no-such-file.png"));
    UploadResponse response;
    const HRESULT hr = client.Send(request, response);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(client.m_errors.size(), 1u);
    EXPECT_EQ(client.m_errors[0].first, L"CreateFile failed, error = 2 (0x2)\n");
    EXPECT_EQ(client.m_errors[0].second, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
    EXPECT_TRUE(sink.m_reports.empty());
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
    // Writing file contents fails silently; the job then finds no address.
    EXPECT_TRUE(client.m_errors.empty()) << ToAnsi(client.m_errors.empty() ? CString() : client.m_errors[0].first);
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
        ASSERT_EQ(client.m_errors.size(), 1u) << size;
        EXPECT_GE(client.m_errors[0].first.Find(L"too large"), 0) << ToAnsi(client.m_errors[0].first);
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
    ASSERT_EQ(client.m_errors.size(), 1u);
    EXPECT_EQ(client.m_errors[0].first, L"ReadFile failed, error = 38 (0x26)\n");
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
    ASSERT_EQ(client.m_errors.size(), 1u);
    EXPECT_EQ(client.m_errors[0].first, L"HttpEndRequest failed, error = 12002 (0x2ee2)\n");
    EXPECT_EQ(client.m_errors[0].second, static_cast<UINT>(MB_ICONERROR));
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
    ASSERT_EQ(client.m_errors.size(), 1u);
    EXPECT_EQ(client.m_errors[0].first.Find(L"HttpEndRequest failed, error = "), 0) << ToAnsi(client.m_errors[0].first);
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
    ASSERT_EQ(client.m_errors.size(), 1u);
    EXPECT_NE(client.m_errors[0].first.Find(L" failed, error = "), -1);
    EXPECT_TRUE(client.m_strResponseHeaders.IsEmpty());
}
