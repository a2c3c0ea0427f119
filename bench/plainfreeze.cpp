// The least a screen capture can do under the same window system, measured
// beside OrvoCapture by the capture benchmark: at Print Screen, read the
// screen into a bitmap and show it in one full-screen window, with a plain
// grey panel where OrvoCapture's options dialog shows (the benchmark sees
// the capture by a change there). No dialog, no controls, no settings.
// Escape ends it; both keys are hotkeys, so no focus is needed.
//   plainfreeze LEFT TOP RIGHT BOTTOM      the panel, in screen pixels
// Prints "ready" once the hotkey is registered.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFreezeHotkey = 1;
constexpr int kEndHotkey = 2;

HDC g_image = nullptr;  // memory DC holding the screen image
HBITMAP g_bitmap = nullptr;
RECT g_panel{};
int g_width = 0, g_height = 0;

void Freeze(HWND window)
{
    HDC screen = ::GetDC(nullptr);
    if (!g_image)
        g_image = ::CreateCompatibleDC(screen);
    if (!g_bitmap) {
        g_bitmap = ::CreateCompatibleBitmap(screen, g_width, g_height);
        ::SelectObject(g_image, g_bitmap);
    }
    ::BitBlt(g_image, 0, 0, g_width, g_height, screen, 0, 0, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    ::RegisterHotKey(nullptr, kEndHotkey, 0, VK_ESCAPE);
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, g_width, g_height, SWP_SHOWWINDOW);
}

LRESULT CALLBACK FreezeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        ::BitBlt(dc, 0, 0, g_width, g_height, g_image, 0, 0, SRCCOPY);
        ::FillRect(dc, &g_panel, static_cast<HBRUSH>(::GetStockObject(LTGRAY_BRUSH)));
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: plainfreeze LEFT TOP RIGHT BOTTOM\n");
        return 2;
    }
    g_panel = {_wtoi(argv[1]), _wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4])};
    g_width = ::GetSystemMetrics(SM_CXSCREEN);
    g_height = ::GetSystemMetrics(SM_CYSCREEN);

    WNDCLASSW wc{};
    wc.lpfnWndProc = FreezeProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"PlainFreeze";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, g_width,
                                    g_height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window || !::RegisterHotKey(nullptr, kFreezeHotkey, 0, VK_SNAPSHOT)) {
        std::fprintf(stderr, "no window or no Print Screen hotkey\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_HOTKEY && msg.wParam == kFreezeHotkey && !::IsWindowVisible(window)) {
            Freeze(window);
        } else if (msg.message == WM_HOTKEY && msg.wParam == kEndHotkey) {
            ::UnregisterHotKey(nullptr, kEndHotkey);
            ::ShowWindow(window, SW_HIDE);
        }
        ::DispatchMessageW(&msg);
    }
    return 0;
}
