// Pieces the output tests share: an application object with the capture
// state and a settings key of its own, a screen image whose every pixel
// tells where it came from, and readers that turn a bitmap, a clipboard or
// an image file into plain pixels.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/OrvoCaptureApp.h"
#include "settings/Settings.h"
#include "output/GdiplusSession.h"
#include "tests/support/TopDownBitmapInfo.h"

// Pixels as 0x00RRGGBB, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t At(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
};

constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kBlack = 0x000000;

// The colour of the test screen image at (x, y): red and green tell the low
// bits of the place, blue the high ones. Its blue is always odd, so it is
// never pure red or black.
inline uint32_t PatternAt(int x, int y)
{
    const uint32_t r = static_cast<uint32_t>(x) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y) & 0xFF;
    const uint32_t b = (16u * (static_cast<uint32_t>(x) >> 8) + 64u * (static_cast<uint32_t>(y) >> 8) + 37u) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

// Reads any bitmap (not selected into a DC) as 32-bit pixels.
inline Pixels ReadBitmap(HBITMAP bitmap)
{
    Pixels p;
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info))
        return p;
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    p.data.resize(static_cast<size_t>(p.width) * p.height);
    BITMAPINFO bmi = TopDownBitmapInfo(p.width, p.height);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(p.height), p.data.data(), &bmi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    for (uint32_t& px : p.data)
        px &= 0xFFFFFF;
    return p;
}

// The bitmap on the clipboard, or no pixels when there is none.
inline Pixels ReadClipboardBitmap()
{
    Pixels p;
    if (!::OpenClipboard(nullptr))
        return p;
    p = ReadBitmap(static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP)));
    ::CloseClipboard();
    return p;
}

inline bool ClipboardHasBitmap()
{
    return ::IsClipboardFormatAvailable(CF_BITMAP) != FALSE;
}

// Puts a text on the clipboard, so that a test can tell whether anything
// replaced it.
inline void PutTextOnClipboard(HWND owner, const wchar_t* text)
{
    if (!::OpenClipboard(owner))
        return;
    ::EmptyClipboard();
    const size_t bytes = (::lstrlenW(text) + 1) * sizeof(wchar_t);
    HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(::GlobalLock(mem), text, bytes);
    ::GlobalUnlock(mem);
    if (!::SetClipboardData(CF_UNICODETEXT, mem))
        ::GlobalFree(mem);
    ::CloseClipboard();
}

// Decodes an image file with GDI+ (running) as 32-bit pixels; *pFormat gets
// the file's own pixel format.
inline Pixels ReadImageFile(const CString& path, Gdiplus::PixelFormat* pFormat = nullptr)
{
    using namespace Gdiplus::DllExports;
    Pixels p;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromFile(path, &bitmap) != Gdiplus::Ok)
        return p;
    GdipBitmapPtr owner(bitmap);
    UINT w = 0, h = 0;
    GdipGetImageWidth(bitmap, &w);
    GdipGetImageHeight(bitmap, &h);
    if (pFormat)
        GdipGetImagePixelFormat(bitmap, pFormat);
    Gdiplus::Rect rect(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB, &data) != Gdiplus::Ok)
        return p;
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.data.resize(static_cast<size_t>(w) * h);
    for (UINT y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        for (UINT x = 0; x < w; ++x)
            p.data[static_cast<size_t>(y) * w + x] = row[x] & 0xFFFFFF;
    }
    GdipBitmapUnlockBits(bitmap, &data);
    return p;
}

// The test pattern over a rectangle of the screen image: what a crop of that
// area must give.
inline Pixels PatternOver(const RECT& rc)
{
    Pixels p;
    p.width = rc.right - rc.left;
    p.height = rc.bottom - rc.top;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            p.data.push_back(PatternAt(x, y));
    return p;
}

inline bool SamePixels(const Pixels& a, const Pixels& b)
{
    return a.width == b.width && a.height == b.height && a.data == b.data;
}

// The application object with the capture state, as the pipeline finds it
// after a grab; its settings go to a key of the test's own, removed again
// when the test ends.
class OutputTestApp : public COrvoCaptureApp {
public:
    OutputTestApp()
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strAppName.Format(L"unit-%hs-%hs", info ? info->test_suite_name() : "none", info ? info->name() : "none");
        SetRegistryKey(kRegistryCompany);
        DeleteKey();
    }
    ~OutputTestApp() override { DeleteKey(); }

    CString KeyPath() const { return CString(L"Software\\") + kRegistryCompany + L"\\" + m_strAppName; }

    // A grabbed screen of width by height pixels showing PatternAt, with the
    // whole of it as the area and no highlight.
    void MakeScreenImage(int width, int height)
    {
        HDC screen = ::GetDC(nullptr);
        m_session.m_dcScreen.DeleteDC();
        m_session.m_dcScreen.CreateCompatibleDC(screen);
        m_session.m_bmpScreen.DeleteObject();
        m_session.m_bmpScreen.CreateCompatibleBitmap(screen, width, height);
        std::vector<uint32_t> pixels;
        pixels.reserve(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(PatternAt(x, y));
        const BITMAPINFO bmi = TopDownBitmapInfo(width, height);
        ::SetDIBits(screen, m_session.m_bmpScreen, 0, static_cast<UINT>(height), pixels.data(), &bmi, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, screen);
        m_session.m_screen = VirtualScreenOf({CRect(0, 0, width, height)});
        m_session.m_rcArea = CRect(0, 0, width, height);
        m_session.m_rcHighlight.SetRectEmpty();
    }

private:
    void DeleteKey() const { ::RegDeleteTreeW(HKEY_CURRENT_USER, KeyPath()); }
};
