// The window-free rules of safe sharing: the failure messages, the upload
// key's rule, the deletion address in an answer, when a time left may be
// shown, and the recent-uploads file with its bound and its damage.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "TestSupport.h"
#include "upload/ResponseHeaders.h"
#include "upload/TransferRate.h"
#include "upload/UploadError.h"
#include "upload/UploadHistory.h"
#include "upload/UploadKey.h"

namespace {

UploadError Failure(UploadErrorKind kind, UploadStep step, const wchar_t* api, DWORD error)
{
    UploadError f;
    f.kind = kind;
    f.step = step;
    f.api = api;
    f.error = error;
    f.host = L"localhost:80";
    return f;
}

TEST(UploadErrorText, NothingListeningNamesHostAdviceKeptFileAndCodeLast)
{
    UploadError f = Failure(UploadErrorKindOf(ERROR_INTERNET_CANNOT_CONNECT, UploadStep::Connecting),
                              UploadStep::Connecting, L"HttpSendRequestEx", 12029);
    EXPECT_EQ(UploadErrorText(f, true, L"C:\\Pictures\\Capture001.png"),
              L"Nothing answered at localhost:80. Start the image host, set its address in Settings, or untick "
              L"the upload box. The image was saved as C:\\Pictures\\Capture001.png. (HttpSendRequestEx, error "
              L"12029)");
    // From the command line there is no upload box to untick.
    EXPECT_EQ(UploadErrorText(f), L"Nothing answered at localhost:80. Start the image host or set its address in "
                                    L"Settings. (HttpSendRequestEx, error 12029)");
}

TEST(UploadErrorText, EveryKindSaysWhatAndWhatToDoWithTheCodeOnlyInBrackets)
{
    struct Case {
        DWORD error;
        UploadStep step;
        const wchar_t* expectedStart;
    };
    const Case cases[] = {
        {ERROR_INTERNET_NAME_NOT_RESOLVED, UploadStep::Connecting, L"The image host localhost was not found. "},
        {ERROR_INTERNET_TIMEOUT, UploadStep::WaitingForAnswer,
         L"The image host at localhost:80 stopped answering while waiting for its answer. "},
        {ERROR_INTERNET_CONNECTION_RESET, UploadStep::SendingImage,
         L"The connection to the image host at localhost:80 broke while sending the image. "},
        {ERROR_INTERNET_INVALID_CA, UploadStep::Connecting, L"The image host's certificate is not trusted "},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, UploadStep::Connecting, L"The image host's certificate has expired "},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, UploadStep::Connecting,
         L"The image host's certificate is for another name, not localhost. "},
        {ERROR_INTERNET_SEC_CERT_ERRORS, UploadStep::Connecting, L"The image host's certificate could not be "},
        {ERROR_ACCESS_DENIED, UploadStep::ReadingFile, L"The file C:\\a.png could not be read: access is denied. "},
        {ERROR_FILE_NOT_FOUND, UploadStep::ReadingFile, L"The file C:\\a.png does not exist. "},
        {ERROR_INTERNET_INTERNAL_ERROR, UploadStep::SendingImage,
         L"The upload to the image host at localhost:80 failed while sending the image. "},
    };
    for (const Case& c : cases) {
        UploadError f = Failure(UploadErrorKindOf(c.error, c.step), c.step, L"Step", c.error);
        f.path = L"C:\\a.png";
        const CString text = UploadErrorText(f);
        EXPECT_EQ(text.Find(c.expectedStart), 0) << ToAnsi(text);
        CString code;
        code.Format(L". (Step, error %lu)", c.error);
        EXPECT_EQ(text.Right(code.GetLength()), code) << ToAnsi(text);
        EXPECT_EQ(text.Find(L"failed, error ="), -1);
    }
    EXPECT_TRUE(UploadErrorText(Failure(UploadErrorKind::Cancelled, UploadStep::SendingImage, L"", 0)).IsEmpty());
}

TEST(UploadErrorText, RefusalShowsStatusReasonAndAdviceForWhatWasRefused)
{
    UploadError f = Failure(UploadErrorKind::Refused, UploadStep::WaitingForAnswer, L"", 0);
    f.host = L"img.example.org:443";
    f.status = 401;
    f.reason = OneLineReason(L"  upload key missing or wrong.\r\nsecond line\r\n");
    EXPECT_EQ(UploadErrorText(f), L"The image host at img.example.org:443 refused the image: 401 upload key "
                                    L"missing or wrong. Check the upload key in Settings.");
    f.status = 413;
    f.reason.Empty();
    EXPECT_EQ(UploadErrorText(f), L"The image host at img.example.org:443 refused the image: 413. The image is "
                                    L"larger than the host accepts.");
    // A host cannot fill the box: control characters go, long reasons are cut.
    const CString reason = OneLineReason(CString(L"\x1b[31m") + CString(std::wstring(500, L'x')));
    EXPECT_EQ(reason.Find(L'\x1b'), -1);
    EXPECT_LE(reason.GetLength(), 160);
}

TEST(UploadErrorText, HostAndPortBracketsIpv6)
{
    EXPECT_EQ(HostAndPort(L"localhost", 80), L"localhost:80");
    EXPECT_EQ(HostAndPort(L"::1", 8443), L"[::1]:8443");
    UploadError f = Failure(UploadErrorKind::CertWrongName, UploadStep::Connecting, L"X", 1);
    f.host = HostAndPort(L"::1", 8443);
    EXPECT_NE(UploadErrorText(f).Find(L"is for another name, not ::1. "), -1);
}

TEST(UploadKeyRule, TravelsOverHttpsAnywhereAndOverHttpOnlyToThisComputer)
{
    for (const wchar_t* local : {L"localhost", L"LocalHost", L"127.0.0.1", L"::1", L"[::1]"}) {
        EXPECT_TRUE(MayCarryUploadKey(false, local)) << ToAnsi(local);
    }
    for (const wchar_t* remote : {L"127.0.0.2", L"img.example.org", L"localhost.example.org", L"10.0.0.1", L"::2",
                                  L"127.0.0.1.nip.io"}) {
        EXPECT_FALSE(MayCarryUploadKey(false, remote)) << ToAnsi(remote);
        EXPECT_TRUE(MayCarryUploadKey(true, remote)) << ToAnsi(remote);
    }
    EXPECT_EQ(AuthorizationHeader(L" s3cret "), L"Authorization: Bearer s3cret");
    EXPECT_TRUE(AuthorizationHeader(L"").IsEmpty());
    // A key cannot smuggle a second header line.
    EXPECT_TRUE(AuthorizationHeader(L"a\r\nX-Evil: 1").IsEmpty());
}

TEST(DeletionAddress, ReadFromItsHeaderWithoutCaseOnlyWhenHttp)
{
    const CString headers = L"HTTP/1.1 200 OK\r\nUploaded: http://h/a.png\r\ndeletion-url:  "
                            L"https://h/delete/tok  \r\nContent-Length: 3\r\n\r\n";
    EXPECT_EQ(ExtractDeletionAddress(headers), L"https://h/delete/tok");
    EXPECT_TRUE(ExtractDeletionAddress(L"HTTP/1.1 200 OK\r\nUploaded: x\r\n\r\n").IsEmpty());
    EXPECT_TRUE(ExtractDeletionAddress(L"HTTP/1.1 200 OK\r\nDeletion-Url: javascript:alert(1)\r\n\r\n").IsEmpty());
    // A header that only ends in the name is another header.
    EXPECT_TRUE(ExtractDeletionAddress(L"HTTP/1.1 200 OK\r\nX-Deletion-Url: http://h/d\r\n\r\n").IsEmpty());
    // The status line is not a header, even when it looks like one.
    EXPECT_TRUE(ExtractDeletionAddress(L"Deletion-Url: http://h/d\r\n\r\n").IsEmpty());
}

TEST(TimeLeftRule, KnownAfterOneSecondOrFivePercent)
{
    EXPECT_FALSE(TransferRateKnown(0, 0, 26000000));
    EXPECT_FALSE(TransferRateKnown(999, 1299999, 26000000));
    EXPECT_TRUE(TransferRateKnown(1000, 8192, 26000000));
    EXPECT_TRUE(TransferRateKnown(20, 1300000, 26000000));
}

// A history file of its own in the temporary directory.
class UploadHistoryFile : public ::testing::Test {
protected:
    UploadHistoryFile() : m_path(TempDirPath(L"orvo-history-test\\uploads.txt")) { Clean(); }
    ~UploadHistoryFile() override { Clean(); }
    void Clean() const
    {
        ::DeleteFileW(m_path);
        ::DeleteFileW(m_path + L".new");
        ::RemoveDirectoryW(TempDirPath(L"orvo-history-test"));
    }
    void Write(const std::string& bytes) const
    {
        ::CreateDirectoryW(TempDirPath(L"orvo-history-test"), nullptr);
        const HANDLE h = ::CreateFileW(m_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(h);
    }
    static UploadRecord Record(int n)
    {
        UploadRecord r;
        r.time = L"2026-12-10 12:00:00";
        r.address.Format(L"https://img.example.org/%032d.png", n);
        r.deletionAddress.Format(L"https://img.example.org/delete/%d", n);
        r.savedFile = L"C:\\Users\\me\\Pictures\\Capture\x00e9\tone.png";
        return r;
    }
    CString m_path;
};

TEST_F(UploadHistoryFile, AppendsReadsNewestFirstAndMarksDeleted)
{
    EXPECT_TRUE(ReadRecentUploads(m_path).empty()) << "a missing file is an empty list";
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(AppendUploadRecord(m_path, Record(n)));
    ASSERT_TRUE(AppendUploadDeleted(m_path, Record(2).address));
    const std::vector<UploadRecord> records = ReadRecentUploads(m_path);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].address, Record(3).address);
    EXPECT_EQ(records[2].deletionAddress, Record(1).deletionAddress);
    // A tab in a name cannot split the line; other characters survive.
    EXPECT_EQ(records[0].savedFile, L"C:\\Users\\me\\Pictures\\Capture\x00e9 one.png");
    EXPECT_EQ((std::vector<bool>{records[0].deleted, records[1].deleted, records[2].deleted}),
              (std::vector<bool>{false, true, false}));
}

TEST_F(UploadHistoryFile, DamagedLinesAreSkippedAndTheNextUploadStillLands)
{
    // Garbage, a line cut off by a crash, a foreign address, binary noise.
    Write(std::string("U\t2026-01-01 00:00:00\thttps://a/1.png\t\t\n") + "not a record\n" +
          "U\tx\tfile:///etc/passwd\t\t\n" + std::string("\0\xff\xfe garbage", 12) + "\n" +
          "U\t2026-01-01 00:00:01\thttps://a/2.png\thttps://a/del");
    ASSERT_TRUE(AppendUploadRecord(m_path, Record(7)));
    const std::vector<UploadRecord> records = ReadRecentUploads(m_path);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].address, Record(7).address);
    EXPECT_EQ(records[1].address, L"https://a/1.png");
}

TEST_F(UploadHistoryFile, NeverGrowsWithoutBoundAndShowsTheLastFifty)
{
    for (int n = 1; n <= 600; ++n)
        ASSERT_TRUE(AppendUploadRecord(m_path, Record(n)));
    EXPECT_LE(ReadFileBytes(m_path).size(), 64u * 1024 + 512);
    const std::vector<UploadRecord> records = ReadRecentUploads(m_path);
    ASSERT_EQ(records.size(), 50u);
    EXPECT_EQ(records.front().address, Record(600).address);
    EXPECT_EQ(records.back().address, Record(551).address);
    EXPECT_FALSE(FileExists(m_path + L".new"));
}

}  // namespace
