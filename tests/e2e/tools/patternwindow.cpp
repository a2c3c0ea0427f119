// A window showing a known pattern, for the capture tests to photograph:
//   patternwindow X Y WIDTH HEIGHT [maximized]
// The client area holds a colour ramp that differs in every pixel of a row
// and column, with solid blocks of known colours in its top-left corner
// (see the harness). The window takes the foreground and prints
// "ready HWND LEFT TOP RIGHT BOTTOM" with its window rectangle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/RampBitmap.h"

namespace {

HBITMAP g_pattern = nullptr;
int g_width = 0, g_height = 0;

// Solid blocks of 20x20 pixels at the client area's top-left corner.
const COLORREF kBlocks[] = {RGB(0x12, 0x34, 0x56), RGB(0xFF, 0x00, 0x00), RGB(0x00, 0xFF, 0x00),
                            RGB(0x00, 0x00, 0xFF), RGB(0xFF, 0xFF, 0xFF), RGB(0x00, 0x00, 0x00)};

HBITMAP MakePattern(int width, int height)
{
    constexpr int kBlockCount = static_cast<int>(sizeof(kBlocks) / sizeof(kBlocks[0]));
    return MakeRampBitmap(width, height, [](int x, int y, DWORD ramp) -> DWORD {
        if (y >= 20 || x >= 20 * kBlockCount)
            return ramp;
        const COLORREF block = kBlocks[x / 20];
        return (static_cast<DWORD>(GetRValue(block)) << 16) | (static_cast<DWORD>(GetGValue(block)) << 8) |
               GetBValue(block);
    });
}

LRESULT CALLBACK PatternProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        HDC memory = ::CreateCompatibleDC(dc);
        HGDIOBJ old = ::SelectObject(memory, g_pattern);
        ::BitBlt(dc, 0, 0, g_width, g_height, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the pattern covers everything
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
    if (argc < 5) {
        std::printf("usage: patternwindow X Y WIDTH HEIGHT [maximized]\n");
        return 2;
    }
    const int x = _wtoi(argv[1]), y = _wtoi(argv[2]), width = _wtoi(argv[3]), height = _wtoi(argv[4]);
    const bool maximized = argc > 5 && ::lstrcmpiW(argv[5], L"maximized") == 0;
    g_width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    g_height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    g_pattern = MakePattern(g_width, g_height);

    WNDCLASSW wc{};
    wc.lpfnWndProc = &PatternProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"OrvoPatternWindow";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"Pattern", WS_OVERLAPPEDWINDOW, x, y, width, height,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd || !g_pattern)
        return 1;
    ::ShowWindow(hwnd, maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    ::UpdateWindow(hwnd);
    ::SetForegroundWindow(hwnd);
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    std::printf("ready %p %ld %ld %ld %ld\n", static_cast<void*>(hwnd), rc.left, rc.top, rc.right, rc.bottom);
    std::fflush(stdout);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::DeleteObject(g_pattern);
    return 0;
}
