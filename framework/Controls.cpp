#include "framework/Controls.h"

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* pParent, UINT id)
{
    return CreateEx(0, PROGRESS_CLASSW, nullptr, style | WS_CHILD, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, pParent ? pParent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

BOOL CToolTipCtrl::Create(CWnd* pParent, DWORD style)
{
    return CreateEx(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, pParent ? pParent->m_hWnd : nullptr, nullptr);
}

static TTTOOLINFOW ToolInfo(CWnd* pWnd, UINT toolId)
{
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.hwnd = pWnd->m_hWnd;
    ti.uId = toolId;
    return ti;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCWSTR text, const RECT& rect, UINT toolId) const
{
    TTTOOLINFOW ti = ToolInfo(pWnd, toolId);
    ti.uFlags = TTF_SUBCLASS;
    ti.rect = rect;
    ti.lpszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::UpdateTipText(LPCWSTR text, CWnd* pWnd, UINT toolId) const
{
    TTTOOLINFOW ti = ToolInfo(pWnd, toolId);
    ti.lpszText = const_cast<LPWSTR>(text);
    SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::SetToolRect(CWnd* pWnd, UINT toolId, const RECT& rect) const
{
    TTTOOLINFOW ti = ToolInfo(pWnd, toolId);
    ti.rect = rect;
    SendMessage(TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
}
