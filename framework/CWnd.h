// A C++ object bound to a window. Binding happens either when the object
// creates the window (a creation hook subclasses it before WM_NCCREATE, so
// even WM_CREATE reaches the message map) or when it subclasses a window that
// exists, such as a dialog's control. Unbound windows are only ever viewed.
#pragma once

#include "framework/CString.h"
#include "framework/Geometry.h"
#include "framework/MessageMap.h"

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys a window the object still holds.
    virtual ~CWnd();

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object bound to a window, or null for a window nobody bound.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Wraps without subclassing: the object only views the window.
    BOOL Attach(HWND hwnd);
    HWND Detach();
    // Routes the window's messages through this object's message map.
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* pParent);
    HWND UnsubclassWindow();

    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  int x, int y, int width, int height, HWND hwndParent, HMENU idOrMenu,
                  LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Message handling.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled right now.
    LRESULT Default();
    // Called by the message loop for messages aimed at this window or one of
    // its children; TRUE means the message was consumed.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // A parent hands a child's notification back to the child first; TRUE
    // with *pResult set means the child handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void PostNcDestroy() {}
    // Called once an object is bound to a window it did not create, or to
    // one it is creating, before the window's messages reach the object.
    virtual void PreSubclassWindow() {}
    static const MessageMap* Map();
    virtual const MessageMap* GetMessageMap() const { return Map(); }

    // Thin wrappers over the user-interface calls the program makes.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return m_hWnd && ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    void SetWindowText(LPCWSTR text) const { ::SetWindowTextW(m_hWnd, text); }
    CString GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    CWnd* GetParent() const;
    HWND SetFocus() const { return ::SetFocus(m_hWnd); }
    void GetClientRect(RECT* pRect) const { ::GetClientRect(m_hWnd, pRect); }
    void GetWindowRect(RECT* pRect) const { ::GetWindowRect(m_hWnd, pRect); }
    void MoveWindow(const RECT& rc, BOOL repaint = TRUE) const
    {
        ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, repaint);
    }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL RedrawWindow(UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW) const
    {
        return ::RedrawWindow(m_hWnd, nullptr, nullptr, flags);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    // Centres over the parent, or over the owner or work area for a top-level
    // window, keeping the window on the screen.
    void CenterWindow(HWND hwndAlternateOwner = nullptr) const;
    // Checks checkId and clears the others; a button already as asked is
    // left alone, which under Wine saves a round trip to the server each.
    void CheckRadioButton(int firstId, int lastId, int checkId) const;
    // The checked radio button between firstId and lastId, or 0.
    int GetCheckedRadioButton(int firstId, int lastId) const;

protected:
    WNDPROC m_pfnSuper = nullptr;  // the procedure that subclassing replaced

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CWndCreationHook;

private:
    bool DispatchToMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    void Bind(HWND hwnd);
    void Unbind();
    const MSG* m_pCurrentMsg = nullptr;
};

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers (once) and returns a window class whose procedure is the default
// one; windows of the class get their real procedure when they are bound.
// The name stays valid for the life of the process.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr,
                            HBRUSH background = nullptr, HICON icon = nullptr);

// Binds the next window created on this thread to pObject for as long as it
// is in scope (the way CreateEx and dialog creation bind their objects).
class CWndCreationHook {
public:
    explicit CWndCreationHook(CWnd* pObject);
    ~CWndCreationHook();
    CWndCreationHook(const CWndCreationHook&) = delete;
    CWndCreationHook& operator=(const CWndCreationHook&) = delete;

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hHook;
    CWnd* m_pPrevPending;
};
