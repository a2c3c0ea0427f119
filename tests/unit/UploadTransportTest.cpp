// The transport against the fake image host of FakeHttpServer.h on
// 127.0.0.1:80: what arrives, and what the progress sink hears. Where port 80
// cannot be had, these tests skip.
#include "FakeHttpServer.h"
#include "UploadTestSupport.h"
#include "upload/UploadJob.h"

namespace {

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

