// A live screen for the capture benchmark: a maximised window, the one the
// user works in, showing a colour ramp that differs in every pixel of a row
// and column (a misplaced or stale copy shows), with a ticker in it: a
// square of one colour that changes on every tick of a 10 ms timer. On the
// live screen the ticker keeps changing; once the frozen copy of the screen
// covers it, it holds still, so its last change marks the moment the frozen
// image was painted there. One window, so no other window's stacking can
// hide the ticker.
//   tickerwindow X Y SIZE      ticker square at client point X,Y
// Prints "ready LEFT TOP RIGHT BOTTOM" with the ticker's screen rectangle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/RampBitmap.h"

namespace {

UINT g_frame = 0;
RECT g_ticker{};
HBITMAP g_ramp = nullptr;
int g_width = 0, g_height = 0;

// Neighbouring frames differ in every channel, so any two frames a poll
// could see one after the other differ.
COLORREF FrameColour(UINT frame)
{
    return RGB((frame * 53) & 0xFF, (frame * 101 + 40) & 0xFF, (frame * 29 + 90) & 0xFF);
}

LRESULT CALLBACK TickerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        ++g_frame;
        ::InvalidateRect(hwnd, &g_ticker, FALSE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        HDC memory = ::CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(memory, g_ramp);
        ::BitBlt(dc, 0, 0, g_width, g_height, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
        HBRUSH brush = ::CreateSolidBrush(FrameColour(g_frame));
        ::FillRect(dc, &g_ticker, brush);
        ::DeleteObject(brush);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the ramp covers everything
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::printf("usage: tickerwindow X Y SIZE\n");
        return 2;
    }
    const int x = _wtoi(argv[1]), y = _wtoi(argv[2]), size = _wtoi(argv[3]);
    g_ticker = {x, y, x + size, y + size};
    g_width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    g_height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    g_ramp = MakeRampBitmap(g_width, g_height);

    WNDCLASSW wc{};
    wc.lpfnWndProc = &TickerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"OrvoTickerWindow";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"Ticker", WS_OVERLAPPEDWINDOW, 0, 0, g_width, g_height,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd || !g_ramp)
        return 1;
    ::ShowWindow(hwnd, SW_SHOWMAXIMIZED);
    ::UpdateWindow(hwnd);
    ::SetForegroundWindow(hwnd);
    ::SetTimer(hwnd, 1, 10, nullptr);
    POINT corners[2] = {{g_ticker.left, g_ticker.top}, {g_ticker.right, g_ticker.bottom}};
    ::MapWindowPoints(hwnd, nullptr, corners, 2);
    std::printf("ready %ld %ld %ld %ld\n", corners[0].x, corners[0].y, corners[1].x, corners[1].y);
    std::fflush(stdout);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DeleteObject(g_ramp);
    return 0;
}
