// Views on the standard controls: each adds only the typed calls the program
// makes. A control object bound by DDX_Control routes its messages through
// its own message map, so a derived class can handle them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/CWnd.h"

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    // A button already in that state is left alone (no repaint, no round trip).
    void SetCheck(int state) const
    {
        if (GetCheck() != state)
            SendMessage(BM_SETCHECK, static_cast<WPARAM>(state));
    }
};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end) const { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
};

class CStatic : public CWnd {};

class CComboBox : public CWnd {
public:
    int AddString(LPCWSTR text) const
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    // Selects the first entry that begins with the text (case-insensitive).
    int SelectString(int startAfter, LPCWSTR text) const
    {
        return static_cast<int>(
            SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
    }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
};

class CProgressCtrl : public CWnd {
public:
    // Creates the control as a child of pParent (WS_CHILD is added).
    BOOL Create(DWORD style, const RECT& rect, CWnd* pParent, UINT id);
    void SetRange32(int lower, int upper) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

class CToolTipCtrl : public CWnd {
public:
    BOOL Create(CWnd* pParent, DWORD style = 0);
    // Adds a tool that covers a rectangle of pWnd's client area.
    BOOL AddTool(CWnd* pWnd, LPCWSTR text, const RECT& rect, UINT toolId) const;
    void UpdateTipText(LPCWSTR text, CWnd* pWnd, UINT toolId) const;
    void SetToolRect(CWnd* pWnd, UINT toolId, const RECT& rect) const;
    void RelayEvent(MSG* pMsg) const { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg)); }
    void Activate(BOOL activate) const { SendMessage(TTM_ACTIVATE, static_cast<WPARAM>(activate)); }
    int GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
};
