// Owners for device contexts and GDI objects. Whoever creates a handle owns
// it; a selection made through CSelection is always undone when it ends.
#pragma once

#include "framework/Geometry.h"

class CWnd;

// How many device contexts and GDI objects the owners below hold now. The
// system's own count (GetGuiResources) reads 0 under Wine, so a leak check
// repeats a piece of drawing and compares this before and after.
long AfxLiveGdiHandles();

class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject() { DeleteObject(); }

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }
    BOOL Attach(HGDIOBJ h);
    HGDIOBJ Detach();
    BOOL DeleteObject();

protected:
    HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    BOOL CreateCompatibleBitmap(HDC hdc, int width, int height);
    BOOL GetBitmap(BITMAP* pInfo) const;
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
    BOOL CreatePen(int style, int width, COLORREF color);
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    BOOL CreateSolidBrush(COLORREF color);
    BOOL CreateHatchBrush(int style, COLORREF color);
};

class CFont : public CGdiObject {
public:
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    BOOL CreateFontIndirect(const LOGFONTW* pLogFont);
};

class CRgn : public CGdiObject {
public:
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }
    BOOL CreateRectRgnIndirect(const RECT* pRect);
};

// A device context. One made with CreateCompatibleDC is deleted with the
// object; one attached or borrowed from a window is released by its owner.
class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC();

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    BOOL CreateCompatibleDC(HDC hdc);
    BOOL DeleteDC();
    BOOL Attach(HDC hdc);
    HDC Detach();

    HGDIOBJ SelectObject(HGDIOBJ h) { return ::SelectObject(m_hDC, h); }
    HGDIOBJ SelectStockObject(int index) { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
    BOOL BitBlt(int x, int y, int w, int h, HDC src, int xSrc, int ySrc, DWORD rop)
    {
        return ::BitBlt(m_hDC, x, y, w, h, src, xSrc, ySrc, rop);
    }
    void FillSolidRect(const RECT& rc, COLORREF color);
    int GetClipBox(RECT* pRect) const { return ::GetClipBox(m_hDC, pRect); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }

    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;

protected:
    bool m_bOwned = false;  // created here, so deleted here
};

// BeginPaint/EndPaint for one WM_PAINT.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND hwnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// GetDC/ReleaseDC of a window's client area (or of the screen for null).
class CClientDC : public CDC {
public:
    explicit CClientDC(HWND hwnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// Selects an object into a DC and puts the previous one back when it ends.
class CSelection {
public:
    CSelection(HDC hdc, HGDIOBJ obj) : m_hDC(hdc), m_hOld(::SelectObject(hdc, obj)) {}
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;
    ~CSelection()
    {
        if (m_hOld)
            ::SelectObject(m_hDC, m_hOld);
    }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
