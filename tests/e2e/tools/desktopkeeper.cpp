// Keeps the Wine virtual desktop of the end-to-end tests alive. Wine ends a
// virtual desktop soon after the last program with a window in it ends; a
// program started in that moment lands in a desktop that is going away. The
// harness starts this keeper with the desktop: its one window (visible, 1x1,
// off-screen, never activated) stays until the session ends it.
// Prints "ready PID" once the window exists.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK KeeperProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &KeeperProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"OrvoDesktopKeeper";
    if (!::RegisterClassW(&wc))
        return 1;
    HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"desktop keeper",
                                  WS_POPUP, -100, -100, 1, 1, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return 1;
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    std::printf("ready %lu\n", ::GetCurrentProcessId());
    std::fflush(stdout);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
