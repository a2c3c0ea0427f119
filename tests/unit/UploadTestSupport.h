// What the upload tests share beside the fake host: a sink that records what
// the client reports, deterministic file contents and header lookups.
#pragma once

#include "TestSupport.h"
#include "upload/UploadClient.h"
#include "upload/UploadRequest.h"

#include <string>
#include <vector>

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

