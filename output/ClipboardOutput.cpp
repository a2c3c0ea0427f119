#include "output/ClipboardOutput.h"

#include "framework/CWinApp.h"
#include "framework/Gdi.h"

namespace {

// A device-dependent copy of image for the screen, or null.
HBITMAP ScreenBitmapFromImage(Gdiplus::GpBitmap* image)
{
    HBITMAP hSection = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image, &hSection, 0) != Gdiplus::Ok || !hSection)
        return nullptr;
    CBitmap section;
    section.Attach(hSection);

    DIBSECTION dib{};
    if (::GetObjectW(section, sizeof(dib), &dib) != sizeof(dib))
        return nullptr;
    // The section may describe its pixels with bit fields; they are plain
    // RGB all the same.
    dib.dsBmih.biCompression = BI_RGB;
    CClientDC screen(nullptr);
    return ::CreateDIBitmap(screen, &dib.dsBmih, CBM_INIT, dib.dsBm.bmBits,
                            reinterpret_cast<const BITMAPINFO*>(&dib.dsBmih), DIB_RGB_COLORS);
}

}  // namespace

void CopyImageToClipboard(Gdiplus::GpBitmap* image, HWND owner)
{
    const bool opened = ::OpenClipboard(owner) != FALSE;
    if (!opened)
        AfxMessageBox(L"Cannot open the Clipboard", MB_ICONERROR);
    if (!::EmptyClipboard())
        AfxMessageBox(L"Cannot empty the Clipboard", MB_ICONERROR);

    CBitmap bitmap;
    bitmap.Attach(ScreenBitmapFromImage(image));
    if (bitmap.GetSafeHandle() && ::SetClipboardData(CF_BITMAP, static_cast<HBITMAP>(bitmap.GetSafeHandle())))
        bitmap.Detach();  // the clipboard's now
    else
        AfxMessageBox(L"Unable to set Clipboard data", MB_ICONERROR);

    if (opened)
        ::CloseClipboard();
}
