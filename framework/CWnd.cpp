#include "framework/CWnd.h"

#include <set>
#include <string>
#include <unordered_map>

namespace {

// The program has one user-interface thread, so one table serves it.
std::unordered_map<HWND, CWnd*>& HandleMap()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

CWnd* g_pPendingCreation = nullptr;

bool Matches(const MessageEntry& e, UINT message)
{
    if (e.kind != MessageEntry::Kind::Message)
        return false;
    return e.pRegistered ? (*e.pRegistered != 0 && *e.pRegistered == message) : e.message == message;
}

bool IsControlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

}  // namespace

CWnd::~CWnd()
{
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
        ::DestroyWindow(m_hWnd);
    Unbind();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    auto it = HandleMap().find(hwnd);
    return it == HandleMap().end() ? nullptr : it->second;
}

void CWnd::Bind(HWND hwnd)
{
    m_hWnd = hwnd;
    HandleMap()[hwnd] = this;
}

void CWnd::Unbind()
{
    if (m_hWnd) {
        auto it = HandleMap().find(m_hWnd);
        if (it != HandleMap().end() && it->second == this)
            HandleMap().erase(it);
    }
}

BOOL CWnd::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    return hwnd != nullptr;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    Unbind();
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!hwnd || FromHandlePermanent(hwnd))
        return FALSE;
    Bind(hwnd);
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* pParent)
{
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    if (m_pfnSuper)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                    int y, int width, int height, HWND hwndParent, HMENU idOrMenu, LPVOID param)
{
    CWndCreationHook hook(this);
    HWND hwnd = ::CreateWindowExW(exStyle, className, windowName, style, x, y, width, height,
                                  hwndParent, idOrMenu, ::GetModuleHandleW(nullptr), param);
    return hwnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    HWND hwnd = m_hWnd;
    const bool bound = FromHandlePermanent(hwnd) == this;
    const BOOL ok = ::DestroyWindow(hwnd);
    if (!bound)  // a viewed window: WM_NCDESTROY did not reach us
        m_hWnd = nullptr;
    return ok;
}

CString CWnd::GetWindowText() const
{
    const int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, &text[0], n + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return CString(std::move(text));
}

CWnd* CWnd::GetParent() const { return FromHandlePermanent(::GetParent(m_hWnd)); }

void CWnd::CenterWindow(HWND hwndAlternateOwner) const
{
    const bool child = (GetStyle() & WS_CHILD) != 0;
    HWND hwndCenter = hwndAlternateOwner ? hwndAlternateOwner
                                         : (child ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER));
    CRect rcWindow;
    GetWindowRect(&rcWindow);
    CRect rcCenter, rcArea;
    if (child) {
        ::GetClientRect(hwndCenter, &rcArea);
        rcCenter = rcArea;
        ::MapWindowPoints(hwndCenter, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rcCenter), 2);
        rcArea = rcCenter;
    } else {
        MONITORINFO mi{sizeof(mi), {}, {}, 0};
        ::GetMonitorInfoW(::MonitorFromWindow(hwndCenter ? hwndCenter : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
        rcArea = mi.rcWork;
        if (hwndCenter && ::IsWindowVisible(hwndCenter) && !::IsIconic(hwndCenter))
            ::GetWindowRect(hwndCenter, &rcCenter);
        else
            rcCenter = rcArea;
    }
    int x = (rcCenter.left + rcCenter.right) / 2 - rcWindow.Width() / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - rcWindow.Height() / 2;
    if (!child) {  // keep a top-level window on its monitor
        if (x + rcWindow.Width() > rcArea.right) x = rcArea.right - rcWindow.Width();
        if (x < rcArea.left) x = rcArea.left;
        if (y + rcWindow.Height() > rcArea.bottom) y = rcArea.bottom - rcWindow.Height();
        if (y < rcArea.top) y = rcArea.top;
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId) const
{
    for (int id = firstId; id <= lastId; ++id) {
        const UINT wanted = id == checkId ? BST_CHECKED : BST_UNCHECKED;
        if (::IsDlgButtonChecked(m_hWnd, id) != wanted)
            ::CheckDlgButton(m_hWnd, id, wanted);
    }
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) const
{
    for (int id = firstId; id <= lastId; ++id)
        if (::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED)
            return id;
    return 0;
}

const MessageMap* CWnd::Map()
{
    static const MessageMap map(nullptr, {});
    return &map;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageEntry& e : map->entries) {
            const bool hit =
                (e.kind == MessageEntry::Kind::ReflectedCommand && message == WM_COMMAND &&
                 e.code == HIWORD(wParam)) ||
                (e.kind == MessageEntry::Kind::ReflectedMessage && e.message == message);
            if (hit) {
                *pResult = e.handler(this, wParam, lParam);
                return TRUE;
            }
        }
    }
    return FALSE;
}

bool CWnd::DispatchToMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    // Notifications go back to the control that sent them before the parent
    // looks at them, so a control class can handle its own clicks and colours.
    HWND hwndChild = nullptr;
    if (message == WM_COMMAND)
        hwndChild = reinterpret_cast<HWND>(lParam);
    else if (IsControlColor(message))
        hwndChild = reinterpret_cast<HWND>(lParam);
    else if (message == WM_NOTIFY && lParam)
        hwndChild = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
    else if (message == WM_DRAWITEM && lParam)
        hwndChild = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
    if (hwndChild && hwndChild != m_hWnd) {
        if (CWnd* child = FromHandlePermanent(hwndChild))
            if (child->OnChildNotify(message, wParam, lParam, pResult))
                return true;
    }

    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageEntry& e : map->entries) {
            bool hit = false;
            if (e.kind == MessageEntry::Kind::Command)
                hit = message == WM_COMMAND && e.id == LOWORD(wParam) && e.code == HIWORD(wParam);
            else
                hit = Matches(e, message);
            if (hit) {
                *pResult = e.handler(this, wParam, lParam);
                return true;
            }
        }
    }
    return false;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (DispatchToMap(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG* msg = m_pCurrentMsg;
    return msg ? DefWindowProc(msg->message, msg->wParam, msg->lParam) : 0;
}

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hwnd);
    if (!pWnd)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);

    MSG msg{hwnd, message, wParam, lParam, 0, {0, 0}};
    const MSG* pPrev = pWnd->m_pCurrentMsg;
    pWnd->m_pCurrentMsg = &msg;
    const LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    pWnd->m_pCurrentMsg = pPrev;

    if (message == WM_NCDESTROY) {
        // The window is gone: give the procedure back and let the object go.
        WNDPROC super = pWnd->m_pfnSuper;
        if (super)
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(super));
        pWnd->Unbind();
        pWnd->m_hWnd = nullptr;
        pWnd->m_pfnSuper = nullptr;
        pWnd->PostNcDestroy();
    }
    return result;
}

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    // Every name handed out stays valid for the process: a caller may keep
    // one while asking for another class (the nodes of a set never move).
    static std::set<std::wstring> names;
    CString formatted;
    formatted.Format(L"Afx:%p:%x:%p:%p:%p", static_cast<void*>(::GetModuleHandleW(nullptr)), classStyle,
                     static_cast<void*>(cursor), static_cast<void*>(background), static_cast<void*>(icon));
    const wchar_t* name = names.insert(std::wstring(formatted.GetString())).first->c_str();
    WNDCLASSW wc{};
    if (!::GetClassInfoW(::GetModuleHandleW(nullptr), name, &wc)) {
        wc.style = classStyle;
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = name;
        ::RegisterClassW(&wc);
    }
    return name;
}

CWndCreationHook::CWndCreationHook(CWnd* pObject)
    : m_hHook(::SetWindowsHookExW(WH_CBT, &HookProc, nullptr, ::GetCurrentThreadId())),
      m_pPrevPending(g_pPendingCreation)
{
    g_pPendingCreation = pObject;
}

CWndCreationHook::~CWndCreationHook()
{
    ::UnhookWindowsHookEx(m_hHook);
    g_pPendingCreation = m_pPrevPending;
}

LRESULT CALLBACK CWndCreationHook::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // The first window created while the hook is armed belongs to the object;
    // it is subclassed before it sees its first message.
    if (code == HCBT_CREATEWND && g_pPendingCreation) {
        CWnd* pWnd = g_pPendingCreation;
        g_pPendingCreation = nullptr;
        pWnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
