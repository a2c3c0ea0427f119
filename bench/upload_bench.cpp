// Upload throughput of the program's own client: sends one file to the
// upload endpoint on loopback with the same transport, progress sink and text
// progress bar as a command-line upload, and prints what it measured.
//   upload_bench FILE [RUNS]
// prints one line per run:
//   run N: BYTES bytes in SECONDS s = MBPS MB/s, REPAINTS repaints, STREAMING repaints while the file
//   was streamed (RATE/s)
//   upload_bench --winsock FILE [RUNS]
// sends the same bytes through a bare Winsock socket in 8192-byte pieces,
// the floor that the platform itself sets for a client writing such chunks.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
    explicit CountingSink(CountingBar* pBar) : OrvoUploadProgress(pBar), m_pBar(pBar) {}
    void OnFileBegin(LPCWSTR path) override
    {
        m_nPaintsAtBegin = m_pBar->m_nPaints;
        ::QueryPerformanceCounter(&m_begin);
        OrvoUploadProgress::OnFileBegin(path);
    }
    void OnFileEnd(LPCWSTR path, HRESULT result) override
    {
        m_nStreamingPaints = m_pBar->m_nPaints - m_nPaintsAtBegin;
        ::QueryPerformanceCounter(&m_end);
        OrvoUploadProgress::OnFileEnd(path, result);
    }
    void OnProgress(LPCWSTR path, DWORD fileSent, DWORD fileSize, DWORD fileSecondsLeft, DWORD totalSent,
                    DWORD totalSize, DWORD totalSecondsLeft, DWORD bytesPerSecond) override
    {
        ++m_nReports;
        OrvoUploadProgress::OnProgress(path, fileSent, fileSize, fileSecondsLeft, totalSent, totalSize,
                                       totalSecondsLeft, bytesPerSecond);
    }
    CountingBar* m_pBar;
    int m_nReports = 0;
    int m_nPaintsAtBegin = 0;
    int m_nStreamingPaints = 0;
    LARGE_INTEGER m_begin{}, m_end{};
};

// A benchmark has nobody to click message boxes away: failures are printed.
class BenchClient : public UploadClient {
public:
    using UploadClient::UploadClient;

protected:
    void ReportError(const CString& text, UINT) override { Print(L"error: " + text); }
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

// Winsock, loaded at run time like everything the program does not link.
struct Winsock {
    Winsock() : module(::LoadLibraryW(L"ws2_32.dll")) {}
    template <class Fn>
    Fn Get(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
    HMODULE module;
};

// The same request as the client's, written with send() in 8192-byte pieces.
int RawWinsockRuns(const CString& path, int runs)
{
    Winsock ws;
    auto wsaStartup = ws.Get<int(WINAPI*)(WORD, LPWSADATA)>("WSAStartup");
    auto makeSocket = ws.Get<SOCKET(WINAPI*)(int, int, int)>("socket");
    auto connectTo = ws.Get<int(WINAPI*)(SOCKET, const sockaddr*, int)>("connect");
    auto sendBytes = ws.Get<int(WINAPI*)(SOCKET, const char*, int, int)>("send");
    auto receive = ws.Get<int(WINAPI*)(SOCKET, char*, int, int)>("recv");
    auto closeSocket = ws.Get<int(WINAPI*)(SOCKET)>("closesocket");
    WSADATA wsa{};
    wsaStartup(MAKEWORD(2, 2), &wsa);
    const CString boundary = L"---------------------------0029482318BE";
    UploadRequest request;
    request.AddFile(L"file", path, L"application/octet-stream");
    const ULONGLONG bodyLength = BodyLength64(request, boundary);
    std::vector<char> buffer(kUploadChunkBytes);
    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        const SOCKET s = makeSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = static_cast<u_short>((80 >> 8) | ((80 & 0xFF) << 8));
        addr.sin_addr.s_addr = 0x0100007F;
        LARGE_INTEGER start{}, stop{};
        ::QueryPerformanceCounter(&start);
        bool ok = connectTo(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        CString head;
        head.Format(L"POST /upload.php HTTP/1.1\r\nHost: localhost\r\n%s\r\nContent-Length: %I64u\r\n\r\n",
                    ContentTypeHeader(boundary).GetString(), bodyLength);
        std::string prefix = ToAnsi(head) + FileFieldHeader(boundary, L"file", path, L"application/octet-stream");
        ok = ok && sendBytes(s, prefix.data(), static_cast<int>(prefix.size()), 0) > 0;
        const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD read = 0;
        while (ok && ::ReadFile(file, buffer.data(), kUploadChunkBytes, &read, nullptr) && read > 0) {
            for (DWORD sent = 0; ok && sent < read;) {
                const int n = sendBytes(s, buffer.data() + sent, static_cast<int>(read - sent), 0);
                ok = n > 0;
                sent += ok ? static_cast<DWORD>(n) : 0;
            }
        }
        ::CloseHandle(file);
        const std::string tail = PartTrailer() + ClosingDelimiter(boundary);
        ok = ok && sendBytes(s, tail.data(), static_cast<int>(tail.size()), 0) > 0;
        char answer[512] = {};
        ok = ok && receive(s, answer, sizeof(answer) - 1, 0) > 0 && std::strstr(answer, "Uploaded: ");
        ::QueryPerformanceCounter(&stop);
        closeSocket(s);
        failures += !ok;
        const double seconds = Seconds(start, stop);
        CString line;
        line.Format(L"winsock run %d: %I64u bytes in %.3f s = %.1f MB/s%s\n", run, bodyLength, seconds,
                    bodyLength / seconds / 1e6, ok ? L"" : L" FAILED");
        Print(line);
    }
    return failures ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 2 && ::lstrcmpW(argv[1], L"--winsock") == 0)
        return RawWinsockRuns(argv[2], argc > 3 ? _wtoi(argv[3]) : 1);
    if (argc < 2) {
        Print(L"usage: upload_bench [--winsock] FILE [RUNS]\n");
        return 2;
    }
    const CString path = argv[1];
    const int runs = argc > 2 ? _wtoi(argv[2]) : 1;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);

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
        request.m_endpoint = UploadEndpoint::Current();
        request.AddFile(L"file", path, L"application/octet-stream");
        UploadResponse response;

        LARGE_INTEGER start{}, stop{};
        ::QueryPerformanceCounter(&start);
        const HRESULT hr = client.Send(request, response);
        ::QueryPerformanceCounter(&stop);
        desktop.Detach();

        const double seconds = Seconds(start, stop);
        const double streaming = Seconds(sink.m_begin, sink.m_end);
        const ULONGLONG bytes = BodyLength64(request, L"---------------------------000000000000");
        const bool ok = hr == S_OK && client.m_strResponseHeaders.Find(L"Uploaded: ") >= 0;
        failures += !ok;
        CString line;
        line.Format(L"run %d: %I64u bytes in %.3f s = %.1f MB/s, %d repaints, %d while the file was streamed "
                    L"(%.1f/s)%s\n",
                    run, bytes, seconds, bytes / seconds / 1e6, bar.m_nPaints, sink.m_nStreamingPaints,
                    streaming > 0 ? sink.m_nStreamingPaints / streaming : 0.0, ok ? L"" : L" FAILED");
        Print(line);
    }
    return failures ? 1 : 0;
}
