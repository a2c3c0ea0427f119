#include "framework/Gdi.h"

#include <atomic>

namespace {
// Workers draw too (the upload progress), so the count is shared safely.
std::atomic<long> g_liveHandles{0};
}  // namespace

long AfxLiveGdiHandles() { return g_liveHandles; }

BOOL CGdiObject::Attach(HGDIOBJ h)
{
    DeleteObject();
    m_hObject = h;
    if (h)
        ++g_liveHandles;
    return h != nullptr;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ h = m_hObject;
    if (h)
        --g_liveHandles;  // the caller owns it now
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    // An object the system refuses to delete (still selected somewhere)
    // stays counted: it is still there.
    const BOOL ok = ::DeleteObject(m_hObject);
    if (ok)
        --g_liveHandles;
    m_hObject = nullptr;
    return ok;
}

BOOL CBitmap::CreateCompatibleBitmap(HDC hdc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(hdc, width, height));
}

BOOL CBitmap::GetBitmap(BITMAP* pInfo) const
{
    return m_hObject && ::GetObjectW(m_hObject, sizeof(BITMAP), pInfo) != 0;
}

BOOL CPen::CreatePen(int style, int width, COLORREF color)
{
    return Attach(::CreatePen(style, width, color));
}

BOOL CBrush::CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }

BOOL CBrush::CreateHatchBrush(int style, COLORREF color)
{
    return Attach(::CreateHatchBrush(style, color));
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* pLogFont)
{
    return Attach(::CreateFontIndirectW(pLogFont));
}

BOOL CRgn::CreateRectRgnIndirect(const RECT* pRect) { return Attach(::CreateRectRgnIndirect(pRect)); }

CDC::~CDC() { DeleteDC(); }

BOOL CDC::CreateCompatibleDC(HDC hdc)
{
    DeleteDC();
    m_hDC = m_hAttribDC = ::CreateCompatibleDC(hdc);
    m_bOwned = m_hDC != nullptr;
    if (m_bOwned)
        ++g_liveHandles;
    return m_bOwned;
}

BOOL CDC::DeleteDC()
{
    BOOL ok = FALSE;
    if (m_hDC && m_bOwned) {
        ok = ::DeleteDC(m_hDC);
        if (ok)
            --g_liveHandles;
    }
    m_hDC = m_hAttribDC = nullptr;
    m_bOwned = false;
    return ok;
}

BOOL CDC::Attach(HDC hdc)
{
    DeleteDC();
    m_hDC = m_hAttribDC = hdc;
    return hdc != nullptr;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    if (h && m_bOwned)
        --g_liveHandles;  // the caller owns it now
    m_hDC = m_hAttribDC = nullptr;
    m_bOwned = false;
    return h;
}

void CDC::FillSolidRect(const RECT& rc, COLORREF color)
{
    // ExtTextOut with ETO_OPAQUE fills without creating a brush.
    const COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

CPaintDC::CPaintDC(HWND hwnd) : m_hWnd(hwnd) { Attach(::BeginPaint(hwnd, &m_ps)); }

CPaintDC::~CPaintDC()
{
    Detach();
    ::EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(HWND hwnd) : m_hWnd(hwnd) { Attach(::GetDC(hwnd)); }

CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }
