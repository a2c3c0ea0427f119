// The request description and the multipart body, byte for byte.
#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "upload/UploadRequest.h"

namespace {

const char kHyphens[] = "---------------------------";  // 27

// Runs fn on a thread that has drawn no pseudo-random numbers yet.
template <class Fn>
void OnFreshThread(Fn fn)
{
    std::thread worker(fn);
    worker.join();
}

// The whole body as the transport writes it, for checking the pieces.
std::string AssembleBody(const UploadRequest& request, const CString& boundary, const std::string& fileBytes)
{
    std::string body;
    for (const UploadFormField& f : request.m_fields)
        body += FormFieldHeader(boundary, f.m_strName) + ToAnsi(f.m_strValue) + PartTrailer();
    for (const UploadFileField& f : request.m_files)
        body += FileFieldHeader(boundary, f.m_strName, f.m_strPath, f.m_strContentType) + fileBytes + PartTrailer();
    return body + ClosingDelimiter(boundary);
}

}  // namespace

TEST(UploadBoundary, FirstTwoOnAFreshThreadFollowTheRuntimeSequence)
{
    CString first, second;
    OnFreshThread([&] {
        first = MakeBoundary();
        second = MakeBoundary();
    });
    EXPECT_EQ(first, L"---------------------------0029482318BE");
    EXPECT_EQ(second, L"---------------------------67844AE13D6C");
    EXPECT_EQ(first.GetLength(), 39);
}

TEST(UploadBoundary, EveryBoundaryIsHyphensAndTwelveUpperHexDigits)
{
    for (int i = 0; i < 50; ++i) {
        const CString b = MakeBoundary();
        ASSERT_EQ(b.GetLength(), 39);
        EXPECT_EQ(ToAnsi(b).substr(0, 27), kHyphens);
        for (int k = 27; k < 39; ++k) {
            const wchar_t c = b.GetAt(k);
            EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) << ToAnsi(b);
        }
        // Each group is at most 0x7FFF.
        for (int k = 27; k < 39; k += 4)
            EXPECT_LE(b.GetAt(k), L'7') << ToAnsi(b);
    }
}

TEST(UploadBody, ContentTypeHeaderCarriesTheBoundaryAndDelimitersTwoMoreHyphens)
{
    const CString b = L"---------------------------0029482318BE";
    EXPECT_EQ(ContentTypeHeader(b),
              L"Content-Type: multipart/form-data; boundary=---------------------------0029482318BE");
    const std::string header = FormFieldHeader(b, L"x");
    EXPECT_EQ(header.find("-----------------------------0029482318BE\r\n"), 0u);  // 29 hyphens
    EXPECT_EQ(ClosingDelimiter(b), "-----------------------------0029482318BE--\r\n");
    EXPECT_EQ(ClosingDelimiter(b).size(), 45u);
    EXPECT_EQ(PartTrailer(), "\r\n");
}

TEST(UploadBody, UploadModeRequestIsExactlyOneFilePartAndTheClosingDelimiter)
{
    const std::string contents("PNG\0\r\nbytes", 11);
    TempFile file(contents);
    OnFreshThread([&] {
        UploadRequest request;
        request.AddFile(L"file", file.Path(), L"application/octet-stream");
        const CString boundary = MakeBoundary();
        const std::string path = ToAnsi(file.Path());
        const std::string expected =
            "-----------------------------0029482318BE\r\n"
            "Content-Disposition: form-data; name=\"file\"; filename=\"" + path + "\"\r\n"
            "Content-Type: application/octet-stream\r\n"
            "\r\n" + contents + "\r\n"
            "-----------------------------0029482318BE--\r\n";
        EXPECT_EQ(AssembleBody(request, boundary, contents), expected);

        // 190 + n + S: a 143 + n byte header, the file, 2 and 45 bytes.
        EXPECT_EQ(FileFieldHeader(boundary, L"file", file.Path(), L"application/octet-stream").size(),
                  143 + path.size());
        DWORD total = 12345;
        EXPECT_EQ(ContentLength(request, boundary, total), 190 + path.size() + contents.size());
        EXPECT_EQ(total, contents.size());
        EXPECT_EQ(ContentLength(request, boundary, total), expected.size());
    });
}

TEST(UploadBody, SelfDestructFieldComesFirstAndAdds112Bytes)
{
    const std::string contents(1000, 'z');
    TempFile file(contents);
    OnFreshThread([&] {
        UploadRequest request;
        request.AddFile(L"file", file.Path(), L"application/octet-stream");
        const CString boundary = MakeBoundary();
        DWORD total = 0;
        const DWORD withoutField = ContentLength(request, boundary, total);
        request.AddSelfDestructTimeout(L"3600");
        const DWORD withField = ContentLength(request, boundary, total);
        EXPECT_EQ(withField - withoutField, 112u);
        EXPECT_EQ(FormFieldSize(boundary, L"selfdestruct_timeout", L"3600"), 112u);
        EXPECT_EQ(FormFieldHeader(boundary, L"selfdestruct_timeout").size(), 106u);

        const std::string path = ToAnsi(file.Path());
        const std::string expected =
            "-----------------------------0029482318BE\r\n"
            "Content-Disposition: form-data; name=\"selfdestruct_timeout\"\r\n"
            "\r\n"
            "3600\r\n"
            "-----------------------------0029482318BE\r\n"
            "Content-Disposition: form-data; name=\"file\"; filename=\"" + path + "\"\r\n"
            "Content-Type: application/octet-stream\r\n"
            "\r\n" + contents + "\r\n"
            "-----------------------------0029482318BE--\r\n";
        EXPECT_EQ(AssembleBody(request, boundary, contents), expected);
        EXPECT_EQ(withField, expected.size());
        EXPECT_EQ(BodyLength64(request, boundary), expected.size());
    });
}

TEST(UploadBody, EmptyValueLeavesTheHeaderEndAndTrailerAdjacent)
{
    const CString b = L"---------------------------0029482318BE";
    const std::string part = FormFieldHeader(b, L"note") + PartTrailer();
    EXPECT_EQ(part, "-----------------------------0029482318BE\r\n"
                    "Content-Disposition: form-data; name=\"note\"\r\n\r\n\r\n");
    EXPECT_EQ(FormFieldSize(b, L"note", L""), 86u + 4u + 2u);
}

TEST(UploadBody, NamesPathsAndTypesAreInsertedUnescaped)
{
    const CString b = L"---------------------------0029482318BE";
    const std::string header = FileFieldHeader(b, L"a\"b", L"C:\\Shots\\x y.png", L"image/png");
    EXPECT_NE(header.find("name=\"a\"b\"; filename=\"C:\\Shots\\x y.png\"\r\nContent-Type: image/png\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(header.size(), 115u + 3u + 16u + 9u);
}

TEST(UploadBody, CharactersOutsideTheCodePageAreSentAsTheirReplacementsAndCounted)
{
    const CString path = L"C:\\caf\u00e9\u4e2d\u0100.png";  // e acute, a CJK ideograph, A macron
    const CString b = L"---------------------------0029482318BE";
    const std::string header = FileFieldHeader(b, L"file", path, L"application/octet-stream");
    const std::string converted = ToAnsi(path);
    ASSERT_FALSE(converted.empty());
    EXPECT_EQ(header.size(), 115u + 4u + converted.size() + 24u);
    EXPECT_NE(header.find("filename=\"" + converted + "\""), std::string::npos);
    EXPECT_EQ(header.find("\xc3\xa9"), std::string::npos) << "no UTF-8 on the wire";

    if (::GetACP() == 1252) {
        // One byte per character: the code page's own, a default character
        // where it has none, and a best-fit letter where it has one.
        EXPECT_EQ(converted, std::string("C:\\caf\xe9?A.png"));
    }

    UploadRequest request;
    request.AddFile(L"file", path, L"application/octet-stream");  // does not exist: counts as empty
    DWORD total = 7;
    EXPECT_EQ(ContentLength(request, b, total), 190u + converted.size());
    EXPECT_EQ(total, 0u);
}

TEST(UploadBody, LengthsAddUpOverSeveralFieldsAndFiles)
{
    TempFile a(std::string(300, 'a'), L"orvo-a.bin");
    TempFile c(std::string(70000, 'c'), L"orvo-c.bin");
    const CString b = MakeBoundary();
    UploadRequest request;
    request.AddFile(L"one", a.Path(), L"image/png");
    request.AddFile(L"two", c.Path(), L"image/gif");
    request.AddSelfDestructTimeout(L"60");
    request.m_fields.push_back(UploadFormField{L"empty", L""});
    DWORD total = 0;
    const DWORD length = ContentLength(request, b, total);
    EXPECT_EQ(total, 70300u);
    std::vector<ULONGLONG> sizes;
    EXPECT_EQ(BodyLength64(request, b, &sizes), length);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], 300u);
    EXPECT_EQ(sizes[1], 70000u);
    const DWORD expected = (86 + 20 + 2 + 2) + (86 + 5 + 0 + 2) + (115 + 3 + ToAnsi(a.Path()).size() + 9 + 300 + 2) +
                           (115 + 3 + ToAnsi(c.Path()).size() + 9 + 70000 + 2) + 45;
    EXPECT_EQ(length, expected);
}

TEST(UploadBody, OnlyBodiesThatFitTheAnnouncedLengthAreAccepted)
{
    EXPECT_TRUE(BodyFitsLength(0xFFFFFFFFull));
    EXPECT_FALSE(BodyFitsLength(0x100000000ull));
}

TEST(UploadEndpoint, AcceptsHttpOnPort80AndTakesItApart)
{
    UploadEndpoint endpoint;
    EXPECT_TRUE(UploadEndpoint::Parse(L"http://localhost/upload.php", &endpoint));
    EXPECT_EQ(endpoint.m_strScheme, L"http");
    EXPECT_EQ(endpoint.m_strHost, L"localhost");
    EXPECT_EQ(endpoint.m_nPort, 80);
    EXPECT_EQ(endpoint.m_strPath, L"/upload.php");

    UploadEndpoint explicitPort;
    EXPECT_TRUE(UploadEndpoint::Parse(L"http://images.example:80/a/b/upload.php", &explicitPort));
    EXPECT_EQ(explicitPort.m_strHost, L"images.example");
    EXPECT_EQ(explicitPort.m_strPath, L"/a/b/upload.php");
}

TEST(UploadEndpoint, RejectsEverythingElseAndKeepsWhatItHad)
{
    const wchar_t* rejected[] = {
        L"https://localhost/upload.php",        // scheme
        L"HTTP://localhost/upload.php",         // scheme compared case-sensitively
        L"http://localhost:8080/upload.php",    // port
        L"http://localhost/upload.php?x=1",     // query
        L"http://localhost/upload.php#top",     // fragment
        L"http://user@localhost/upload.php",    // user name
        L"http://user:pw@localhost/upload.php", // password
        L"ftp://localhost/upload.php",
        L"not a url",
        L"",
    };
    for (const wchar_t* url : rejected) {
        UploadEndpoint endpoint;
        EXPECT_FALSE(UploadEndpoint::Parse(url, &endpoint)) << ToAnsi(url);
        EXPECT_TRUE(endpoint.m_strHost.IsEmpty()) << ToAnsi(url);
        EXPECT_TRUE(endpoint.m_strPath.IsEmpty()) << ToAnsi(url);
    }
    UploadEndpoint kept;
    ASSERT_TRUE(UploadEndpoint::Parse(L"http://first/upload.php", &kept));
    EXPECT_FALSE(UploadEndpoint::Parse(L"https://second/other.php", &kept));
    EXPECT_EQ(kept.m_strHost, L"first");
    EXPECT_EQ(kept.m_strPath, L"/upload.php");

    // A component longer than its 260-character buffer fails the split.
    UploadEndpoint longHost;
    EXPECT_FALSE(UploadEndpoint::Parse(CString(L"http://") + CString(std::wstring(300, L'h')) + L"/upload.php",
                                       &longHost));
}

TEST(UploadRequestFields, FilesAndFieldsKeepTheirOrderAndTheRateStartsAt5600)
{
    UploadRequest request;
    EXPECT_EQ(request.m_nBytesPerSecond, 5600u);
    request.AddFile(L"f1", L"a", L"t1");
    request.AddFile(L"f2", L"b", L"t2");
    request.AddSelfDestructTimeout(L"600");
    ASSERT_EQ(request.m_files.size(), 2u);
    EXPECT_EQ(request.m_files[1].m_strName, L"f2");
    EXPECT_EQ(request.m_files[1].m_strPath, L"b");
    EXPECT_EQ(request.m_files[1].m_strContentType, L"t2");
    ASSERT_EQ(request.m_fields.size(), 1u);
    EXPECT_EQ(request.m_fields[0].m_strName, L"selfdestruct_timeout");
    EXPECT_EQ(request.m_fields[0].m_strValue, L"600");
}
