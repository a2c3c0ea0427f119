// The upload job shared by "/U" and the options dialog: the address taken
// from the answer, the temporary file's end, and the endpoint it sends to.
// The transfers go to the fake image host of FakeHttpServer.h on
// 127.0.0.1:80; where port 80 cannot be had, those tests skip.
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
    bool found = false;
    const CString address = RunUploadJob(window.m_bar, path, &seconds, &steps, &found);
    delete file;
    EXPECT_EQ(address, L"http://127.0.0.1/i/job.png");
    EXPECT_TRUE(found);
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
    bool found = true;
    EXPECT_EQ(RunUploadJob(window.m_bar, file.Path(), nullptr, &steps, &found), L"");
    EXPECT_FALSE(found);
    EXPECT_EQ(::GetFileAttributesW(file.Path()), INVALID_FILE_ATTRIBUTES);
}

TEST(UploadJob, TemporaryFileGoesWhenNothingListensAndTheFailureIsShown)
{
    {
        FakeServer probe(HttpResponse(""));
        START_SERVER(probe);
    }
    JobWindow window;
    TempFile file(Pattern(3000), L"orvo-job3.png");
    TemporaryFileUploadSteps steps(window.m_bar, file.Path());
    bool found = true;
    CString address;
    std::vector<CString> shown;
    {
        MessageBoxAnswerer answerer;
        address = RunUploadJob(window.m_bar, file.Path(), nullptr, &steps, &found);
        shown = answerer.Texts();
    }
    EXPECT_EQ(address, L"");
    EXPECT_FALSE(found);
    EXPECT_EQ(::GetFileAttributesW(file.Path()), INVALID_FILE_ATTRIBUTES);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0].Find(L"HttpSendRequestEx failed, error = 12029 (0x2efd)"), 0) << ToAnsi(shown[0]);
}

TEST(UploadJob, TemporaryFileGoesWhenTheServerClosesHalfWay)
{
    FakeServer server("", FakeServer::Mode::CloseHalfWay);
    START_SERVER(server);
    JobWindow window;
    TempFile file(Pattern(6 * 1024 * 1024), L"orvo-job4.png");
    TemporaryFileUploadSteps steps(window.m_bar, file.Path());
    bool found = true;
    std::vector<CString> shown;
    {
        MessageBoxAnswerer answerer;
        EXPECT_EQ(RunUploadJob(window.m_bar, file.Path(), nullptr, &steps, &found), L"");
        shown = answerer.Texts();
    }
    EXPECT_FALSE(found);
    EXPECT_TRUE(shown.empty());
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
    for (const wchar_t* refused : {L"https://images.internal/upload.php", L"http://images.internal:8080/upload.php"}) {
        app.WriteProfileString(L"", L"UploadUrl", refused);
        EXPECT_EQ(UploadEndpoint::Current().m_strHost, L"localhost") << ToAnsi(refused);
    }
}
