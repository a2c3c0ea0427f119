// Upload throughput of the program's own client: sends one file to the
// upload endpoint on loopback with the same transport, progress sink and text
// progress bar as a command-line upload, and prints what it measured.
//   upload_bench FILE [RUNS]
// prints one line per run:
//   run N: BYTES bytes in SECONDS s = MBPS MB/s, REPAINTS repaints (RATE/s), REPORTS progress reports
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "framework/CString.h"
#include "ui/TextProgressCtrl.h"
#include "upload/UploadClient.h"
#include "upload/UploadJob.h"
#include "upload/UploadProgress.h"
#include "upload/UploadRequest.h"

namespace {

void Print(const CString& text)
{
    const std::string bytes = ToAnsi(text, CP_UTF8);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// The bar of a command-line upload, with its paints counted.
class CountingBar : public CTextProgressCtrl {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++m_nPaints;
        return CTextProgressCtrl::WindowProc(message, wParam, lParam);
    }
    int m_nPaints = 0;
};

class CountingSink : public OrvoUploadProgress {
public:
    using OrvoUploadProgress::OrvoUploadProgress;
    void OnProgress(LPCWSTR path, DWORD fileSent, DWORD fileSize, DWORD fileSecondsLeft, DWORD totalSent,
                    DWORD totalSize, DWORD totalSecondsLeft, DWORD bytesPerSecond) override
    {
        ++m_nReports;
        OrvoUploadProgress::OnProgress(path, fileSent, fileSize, fileSecondsLeft, totalSent, totalSize,
                                       totalSecondsLeft, bytesPerSecond);
    }
    int m_nReports = 0;
};

// A benchmark has nobody to click message boxes away: failures are printed.
class BenchClient : public UploadClient {
public:
    using UploadClient::UploadClient;

protected:
    void ReportError(const CString& text, UINT) override { Print(L"error: " + text); }
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        Print(L"usage: upload_bench FILE [RUNS]\n");
        return 2;
    }
    const CString path = argv[1];
    const int runs = argc > 2 ? _wtoi(argv[2]) : 1;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);

    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        CWnd desktop;
        desktop.Attach(::GetDesktopWindow());
        CountingBar bar;
        bar.Create(WS_VISIBLE | PBS_SMOOTH, CRect(50, 50, 600, 100), &desktop, 123);
        bar.CenterWindow();
        bar.RedrawWindow();
        bar.m_nPaints = 0;

        CountingSink sink(&bar);
        BenchClient client(&sink);
        UploadRequest request;
        request.SetUrl(UploadEndpointUrl());
        request.AddFile(L"file", path, L"application/octet-stream");
        UploadResponse response;

        LARGE_INTEGER start{}, stop{};
        ::QueryPerformanceCounter(&start);
        const HRESULT hr = client.Send(request, response);
        ::QueryPerformanceCounter(&stop);
        desktop.Detach();

        const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
        const ULONGLONG bytes = BodyLength64(request, L"---------------------------000000000000");
        const bool ok = hr == S_OK && client.m_strResponseHeaders.Find(L"Uploaded: ") >= 0;
        failures += !ok;
        CString line;
        line.Format(L"run %d: %I64u bytes in %.3f s = %.1f MB/s, %d repaints (%.1f/s), %d progress reports%s\n", run,
                    bytes, seconds, bytes / seconds / 1e6, bar.m_nPaints, bar.m_nPaints / seconds, sink.m_nReports,
                    ok ? L"" : L" FAILED");
        Print(line);
    }
    return failures ? 1 : 0;
}
