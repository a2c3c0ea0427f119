// An off-screen device context for one paint pass: everything drawn into it
// reaches the target in one block copy when the object goes away, so a
// control that repaints often does not flicker.
#pragma once

#include "framework/Gdi.h"

class COrvoCaptureMemDC : public CDC {
public:
    // pRect is in the target's logical coordinates; null means the target's
    // clip box, so a partial repaint copies only the invalid part.
    explicit COrvoCaptureMemDC(CDC* pDC, const RECT* pRect = nullptr);
    ~COrvoCaptureMemDC() override;

    COrvoCaptureMemDC(const COrvoCaptureMemDC&) = delete;
    COrvoCaptureMemDC& operator=(const COrvoCaptureMemDC&) = delete;

    const CRect& Rect() const { return m_rect; }

private:
    CBitmap m_bitmap;              // the off-screen bitmap
    HGDIOBJ m_oldBitmap = nullptr; // selected before m_bitmap, put back at the end
    CDC* m_pDC;                    // the target
    CRect m_rect;                  // area covered, in the target's logical units
};
