// Looks at the progress bar of a command-line upload while the program is
// busy with the transfer. The uploading thread answers no messages then, so
// everything here is read without sending it any:
//   uploadprobe bar    one line per visible bar on the desktop:
//                      hwnd<TAB>width<TAB>height<TAB>bar-colour share in percent<TAB>text
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/CString.h"

namespace {

void Print(const CString& line)
{
    const std::string bytes = ToAnsi(line + L"\n", CP_UTF8);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Share of the window's pixels on the screen that have the system highlight
// colour, the bar's default colour.
int BarColourShare(HWND hwnd, const RECT& rc)
{
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        return 0;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    ::BitBlt(mem, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    long hits = 0;
    for (int y = 0; y < height; y += 2)
        for (int x = 0; x < width; x += 2)
            hits += ::GetPixel(mem, x, y) == highlight;
    ::SelectObject(mem, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    (void)hwnd;
    const long samples = static_cast<long>((width + 1) / 2) * ((height + 1) / 2);
    return static_cast<int>(hits * 100 / samples);
}

BOOL CALLBACK PrintBar(HWND hwnd, LPARAM)
{
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    if (!::IsWindowVisible(hwnd) || ::lstrcmpiW(cls, PROGRESS_CLASSW) != 0)
        return TRUE;
    wchar_t text[512] = {};
    ::InternalGetWindowText(hwnd, text, 512);
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    CString line;
    line.Format(L"%p\t%ld\t%ld\t%d\t%s", static_cast<void*>(hwnd), rc.right - rc.left, rc.bottom - rc.top,
                BarColourShare(hwnd, rc), text);
    Print(line);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && ::lstrcmpW(argv[1], L"bar") == 0) {
        ::EnumWindows(&PrintBar, 0);
        return 0;
    }
    Print(L"usage: uploadprobe bar");
    return 2;
}
