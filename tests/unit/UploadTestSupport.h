// What the upload tests share besides the fake server: a client that records
// its failure reports, a progress sink that records what it hears, file
// contents, and the request and body of an upload as "/U" makes it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHttpServer.h"
#include "TestSupport.h"
#include "upload/UploadClient.h"
#include "upload/UploadProgress.h"
#include "upload/UploadRequest.h"

// Readable failure output for the program's strings.
inline void PrintTo(const CString& s, std::ostream* os) { *os << '"' << ToAnsi(s, CP_UTF8) << '"'; }

// The product's client with its failure reports recorded instead of shown.
class RecordingClient : public UploadClient {
public:
    explicit RecordingClient(UploadProgress* pProgress = nullptr, DWORD timeoutMs = kUploadTimeoutMs)
        : UploadClient(pProgress, timeoutMs)
    {
    }
    std::vector<std::pair<CString, UINT>> m_errors;

protected:
    void ReportError(const CString& text, UINT type) override { m_errors.emplace_back(text, type); }
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

inline std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    unsigned x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

inline std::string HeaderValue(const std::string& head, const std::string& name)
{
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + 4 + name.size();
    return head.substr(start, head.find("\r\n", start) - start);
}

// The body the server must have received for one file uploaded as "/U" does.
inline std::string ExpectedUploadBody(const std::string& boundary, const CString& path, const std::string& contents)
{
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" + ToAnsi(path) +
           "\"\r\n" + "Content-Type: application/octet-stream\r\n\r\n" + contents + "\r\n--" + boundary + "--\r\n";
}

inline UploadRequest UploadModeRequest(const CString& path)
{
    UploadRequest request;
    EXPECT_TRUE(UploadEndpoint::Parse(L"http://localhost/upload.php", &request.m_endpoint));
    request.AddFile(L"file", path, L"application/octet-stream");
    return request;
}
