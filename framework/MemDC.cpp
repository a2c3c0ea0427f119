#include "framework/MemDC.h"

COrvoCaptureMemDC::COrvoCaptureMemDC(CDC* pDC, const RECT* pRect)
    : m_oldBitmap(nullptr), m_pDC(pDC), m_bMemDC(!pDC->IsPrinting())
{
    if (pRect)
        m_rect = *pRect;
    else
        pDC->GetClipBox(&m_rect);

    if (m_bMemDC) {
        CreateCompatibleDC(pDC->GetSafeHdc());
        ::LPtoDP(pDC->GetSafeHdc(), reinterpret_cast<POINT*>(&m_rect), 2);
        m_bitmap.CreateCompatibleBitmap(pDC->GetSafeHdc(), m_rect.Width(), m_rect.Height());
        m_oldBitmap = SelectObject(m_bitmap.GetSafeHandle());

        ::SetMapMode(m_hDC, ::GetMapMode(pDC->GetSafeHdc()));
        SIZE extent{};
        ::GetWindowExtEx(pDC->GetSafeHdc(), &extent);
        ::SetWindowExtEx(m_hDC, extent.cx, extent.cy, nullptr);
        ::GetViewportExtEx(pDC->GetSafeHdc(), &extent);
        ::SetViewportExtEx(m_hDC, extent.cx, extent.cy, nullptr);

        ::DPtoLP(pDC->GetSafeHdc(), reinterpret_cast<POINT*>(&m_rect), 2);
        ::SetWindowOrgEx(m_hDC, m_rect.left, m_rect.top, nullptr);
    } else {
        // A printer gets the drawing directly; its contexts stay the target's.
        m_bPrinting = pDC->IsPrinting();
        m_hDC = pDC->m_hDC;
        m_hAttribDC = pDC->m_hAttribDC;
        m_bOwned = false;
    }

    FillSolidRect(m_rect, pDC->GetBkColor());
}

COrvoCaptureMemDC::~COrvoCaptureMemDC()
{
    if (m_bMemDC) {
        ::BitBlt(m_pDC->GetSafeHdc(), m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC,
                 m_rect.left, m_rect.top, SRCCOPY);
        if (m_oldBitmap)
            SelectObject(m_oldBitmap);
    } else {
        // The printer's contexts belong to the target: let go without deleting.
        m_hDC = m_hAttribDC = nullptr;
    }
    // m_bitmap (now selected out) and the memory context go with the members.
}
