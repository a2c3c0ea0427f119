// The application's progress sink: what it puts on a text progress bar.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ui/TextProgressCtrl.h"
#include "upload/UploadProgress.h"

namespace {

class Bar : public CTextProgressCtrl {
public:
    Bar()
    {
        Create(WS_VISIBLE | PBS_SMOOTH, CRect(10, 10, 560, 60), &HostWindow(), 123);
        ::UpdateWindow(m_hWnd);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++m_paints;
        return CTextProgressCtrl::WindowProc(message, wParam, lParam);
    }
    int Min() const { return static_cast<int>(SendMessage(PBM_GETRANGE, TRUE, 0)); }
    int Max() const { return static_cast<int>(SendMessage(PBM_GETRANGE, FALSE, 0)); }
    int Pos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int m_paints = 0;
};

void Report(OrvoUploadProgress& sink, DWORD sent, DWORD size, DWORD secondsLeft, DWORD rate)
{
    sink.OnProgress(L"C:\\A.PNG", sent, size, secondsLeft, sent, size, secondsLeft, rate);
}

}  // namespace

TEST(UploadProgressSink, HalfwayReportSetsTextRangeAndPosition)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    Report(sink, 512000, 1024000, 5, 102400);
    EXPECT_EQ(bar.GetWindowText(), L"50%   100 KB/s   5 s left");
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 1024000);
    EXPECT_EQ(bar.Pos(), 512000);
}

TEST(UploadProgressSink, PercentRoundsHalfUpAndRateRoundsDown)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    Report(sink, 1, 200, 0, 1023);
    EXPECT_EQ(bar.GetWindowText(), L"1%   0 KB/s   0 s left");
    Report(sink, 199, 200, 0, 2047);
    EXPECT_EQ(bar.GetWindowText(), L"100%   1 KB/s   0 s left");
    // A rate not known yet (0) promises no time left.
    Report(sink, 0, 56000, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), L"0%");
    EXPECT_EQ(bar.Max(), 56000);
    EXPECT_EQ(bar.Pos(), 0);
}

TEST(UploadProgressSink, OnlyTheCurrentFileIsShown)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    sink.OnProgress(L"C:\\B.PNG", 300, 1200, 3, 9300, 20000, 99, 4096);
    EXPECT_EQ(bar.GetWindowText(), L"25%   4 KB/s   3 s left");
    EXPECT_EQ(bar.Max(), 1200);
    EXPECT_EQ(bar.Pos(), 300);
}

TEST(UploadProgressSink, ConnectionTextsArePaintedAtOnce)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    const int before = bar.m_paints;
    sink.OnConnecting(L"images.example");
    EXPECT_EQ(bar.GetWindowText(), L"Connecting: images.example");
    EXPECT_EQ(bar.m_paints, before + 1) << "painted during the call, not later";
    sink.OnConnected(L"");
    EXPECT_EQ(bar.GetWindowText(), L"Connected: ");
    EXPECT_EQ(bar.m_paints, before + 2);
    // The other notifications leave the bar alone.
    sink.OnResolvingName(L"x");
    sink.OnNameResolved(L"x");
    sink.OnSendingRequest();
    sink.OnRequestSent(10);
    sink.OnReceivingResponse();
    sink.OnResponseReceived(10);
    sink.OnClosingConnection();
    sink.OnConnectionClosed();
    sink.OnFileEnd(L"x", S_OK);
    EXPECT_EQ(bar.GetWindowText(), L"Connected: ");
    EXPECT_FALSE(sink.IsCancelled());
}

TEST(UploadProgressSink, EmptyFileShowsZeroPercentBeforeAndHundredAfter)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    sink.OnFileBegin(L"C:\\EMPTY.PNG");
    Report(sink, 0, 0, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), L"0%");
    EXPECT_LT(bar.Min(), bar.Max()) << "a range the bar can paint";
    EXPECT_EQ(bar.Pos(), bar.Min());
    Report(sink, 0, 0, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), L"100%");
    EXPECT_EQ(bar.Pos(), bar.Max());
    // The next file starts again from empty.
    sink.OnFileBegin(L"C:\\EMPTY2.PNG");
    Report(sink, 0, 0, 0, 0);
    EXPECT_EQ(bar.GetWindowText(), L"0%");
}

TEST(UploadProgressSink, FilesAbove2GiBStillFillTheBar)
{
    Bar bar;
    OrvoUploadProgress sink(&bar);
    Report(sink, 1500000000u, 3000000000u, 100, 10000000);
    EXPECT_EQ(bar.GetWindowText(), L"50%   9765 KB/s   100 s left");
    EXPECT_GT(bar.Max(), 0);
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Pos() * 2, bar.Max());
}
