// The upload job (temporary files, the address and the refusal that come
// back, the key) and the address read from the host's answer.
#include "FakeHttpServer.h"
#include "MessageBoxAnswerer.h"
#include "TestApp.h"
#include "UploadTestSupport.h"
#include "framework/CWnd.h"
#include "ui/TextProgressCtrl.h"
#include "upload/UploadJob.h"

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