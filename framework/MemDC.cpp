#include "framework/MemDC.h"

COrvoCaptureMemDC::COrvoCaptureMemDC(CDC* pDC, const RECT* pRect) : m_pDC(pDC)
{
    if (pRect)
        m_rect = *pRect;
    else
        pDC->GetClipBox(&m_rect);

    CreateCompatibleDC(pDC->GetSafeHdc());
    ::LPtoDP(pDC->GetSafeHdc(), reinterpret_cast<POINT*>(&m_rect), 2);
    m_bitmap.CreateCompatibleBitmap(pDC->GetSafeHdc(), m_rect.Width(), m_rect.Height());
    m_oldBitmap = SelectObject(m_bitmap.GetSafeHandle());

    // The same mapping as the target, so both take the same coordinates.
    ::SetMapMode(m_hDC, ::GetMapMode(pDC->GetSafeHdc()));
    SIZE extent{};
    ::GetWindowExtEx(pDC->GetSafeHdc(), &extent);
    ::SetWindowExtEx(m_hDC, extent.cx, extent.cy, nullptr);
    ::GetViewportExtEx(pDC->GetSafeHdc(), &extent);
    ::SetViewportExtEx(m_hDC, extent.cx, extent.cy, nullptr);

    ::DPtoLP(pDC->GetSafeHdc(), reinterpret_cast<POINT*>(&m_rect), 2);
    ::SetWindowOrgEx(m_hDC, m_rect.left, m_rect.top, nullptr);

    FillSolidRect(m_rect, pDC->GetBkColor());
}

COrvoCaptureMemDC::~COrvoCaptureMemDC()
{
    ::BitBlt(m_pDC->GetSafeHdc(), m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC, m_rect.left,
             m_rect.top, SRCCOPY);
    if (m_oldBitmap)
        SelectObject(m_oldBitmap);
    // m_bitmap (now selected out) and the memory context go with the members.
}
