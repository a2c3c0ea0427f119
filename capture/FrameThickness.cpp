#include "capture/FrameThickness.h"

namespace {
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

template <typename Fn>
Fn User32Function(const char* name)
{
    // Looked up at run time: the program also runs on systems without them.
    return reinterpret_cast<Fn>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name));
}
}  // namespace

SIZE FrameThickness(HWND window)
{
    static const auto dpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    static const auto metricsForDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (dpiForWindow && metricsForDpi) {
        if (const UINT dpi = dpiForWindow(window))
            return SIZE{metricsForDpi(SM_CXFRAME, dpi), metricsForDpi(SM_CYFRAME, dpi)};
    }
    return SIZE{::GetSystemMetrics(SM_CXFRAME), ::GetSystemMetrics(SM_CYFRAME)};
}
