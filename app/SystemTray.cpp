#include "app/SystemTray.h"

#include "app/SettingsDlg.h"
#include "framework/CWinApp.h"
#include "ui/AboutDlg.h"
#include "res/resource.h"

namespace {
// Registered before the application starts, so the broadcast the shell sends
// when its taskbar comes back is recognised from the first moment.
const UINT g_msgTaskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");

constexpr UINT kTrayIconId = IDR_TRAYMENU;

// The icon's menu, loaded afresh for each use; its first submenu is the popup.
class TrayMenu {
public:
    explicit TrayMenu(UINT id) : m_menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id))) {}
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;
    ~TrayMenu()
    {
        if (m_menu)
            ::DestroyMenu(m_menu);
    }
    HMENU Popup() const { return m_menu ? ::GetSubMenu(m_menu, 0) : nullptr; }

private:
    HMENU m_menu;
};
}  // namespace

CSystemTray::CSystemTray() { ::ZeroMemory(&m_nid, sizeof(m_nid)); }

CSystemTray::~CSystemTray()
{
    RemoveFromTray();
    DestroyWindow();
}

const MessageMap* CSystemTray::Map()
{
    static const MessageMap map(CWnd::Map(), {
        OnMessage(WM_TRAY_CALLBACK, &CSystemTray::OnTrayCallback),
        OnMessage(WM_HOTKEY, &CSystemTray::OnHotkey),
        // Menu commands arrive with a notification code of 0.
        OnCommand(ID_TRAY_EXIT, 0, &CSystemTray::OnExit),
        OnCommand(ID_TRAY_ABOUT, 0, &CSystemTray::OnAbout),
        OnCommand(ID_TRAY_SETTINGS, 0, &CSystemTray::OnSettings),
        OnMessage(WM_SETTINGCHANGE, &CSystemTray::OnSettingChange),
        OnRegisteredMessage(&g_msgTaskbarCreated, &CSystemTray::OnTaskbarCreated),
    });
    return &map;
}

BOOL CSystemTray::AddToTray(HICON icon)
{
    m_bEnabled = LOBYTE(LOWORD(::GetVersion())) >= 4;
    if (!m_bEnabled)
        return FALSE;

    CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);

    // The record up to the balloon icon: what every shell since XP accepts.
    m_nid.cbSize = NOTIFYICONDATAW_V3_SIZE;
    m_nid.hWnd = m_hWnd;
    m_nid.uID = kTrayIconId;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAY_CALLBACK;
    m_nid.hIcon = icon;
    ::lstrcpynW(m_nid.szTip, L"OrvoCapture v2.0", 128);
    m_uCreationFlags = m_nid.uFlags;
    m_bHidden = FALSE;

    const BOOL ok = ::Shell_NotifyIconW(NIM_ADD, &m_nid);
    m_bRemoved = m_bHidden = !ok;
    return ok;
}

BOOL CSystemTray::RemoveFromTray()
{
    if (!m_bEnabled || m_bRemoved)
        return TRUE;
    m_nid.uFlags = 0;
    if (::Shell_NotifyIconW(NIM_DELETE, &m_nid))
        m_bHidden = m_bRemoved = TRUE;
    return m_bRemoved;
}

void CSystemTray::ReAddIcon()
{
    m_nid.uFlags = m_uCreationFlags;
    ::Shell_NotifyIconW(NIM_ADD, &m_nid);
    m_bHidden = FALSE;
}

BOOL CSystemTray::ChooseDefaultMenuItem(UINT item, BOOL byPosition)
{
    if (m_uDefaultMenuItem == item && m_bDefaultByPosition == byPosition)
        return TRUE;
    m_uDefaultMenuItem = item;
    m_bDefaultByPosition = byPosition;
    TrayMenu menu(m_nid.uID);
    if (!menu.Popup())
        return FALSE;
    ::SetMenuDefaultItem(menu.Popup(), item, byPosition);
    return TRUE;
}

LRESULT CSystemTray::OnTrayCallback(WPARAM wParam, LPARAM lParam) { return HandleTrayCallback(wParam, lParam); }

LRESULT CSystemTray::OnHotkey(WPARAM wParam, LPARAM)
{
    if (m_pfnHotkey)
        m_pfnHotkey(static_cast<int>(wParam));
    return 0;
}

void CSystemTray::OnExit() { ::PostQuitMessage(0); }

void CSystemTray::OnAbout()
{
    // No parent given: the framework makes the main window, this one, its owner.
    CAboutDlg dlg;
    dlg.DoModal();
}

void CSystemTray::OnSettings()
{
    CSettingsDlg dlg(this);
    dlg.DoModal();
}

LRESULT CSystemTray::HandleTrayCallback(WPARAM wParam, LPARAM lParam)
{
    if (wParam != m_nid.uID)
        return 0;
    CWnd* target = AfxGetMainWnd();
    if (!target || !target->m_hWnd)
        return 0;

    switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
        TrayMenu menu(m_nid.uID);
        HMENU popup = menu.Popup();
        if (!popup)
            return 0;
        ::SetMenuDefaultItem(popup, m_uDefaultMenuItem, m_bDefaultByPosition);
        POINT pt;
        ::GetCursorPos(&pt);
        // Without the foreground the menu would not close on a click elsewhere.
        ::SetForegroundWindow(target->m_hWnd);
        ::TrackPopupMenu(popup, 0, pt.x, pt.y, 0, target->m_hWnd, nullptr);
        ::PostMessageW(target->m_hWnd, WM_NULL, 0, 0);
        return 1;
    }
    case WM_LBUTTONDBLCLK: {
        ::SetForegroundWindow(target->m_hWnd);
        UINT command = m_uDefaultMenuItem;
        if (m_bDefaultByPosition) {
            TrayMenu menu(m_nid.uID);
            if (!menu.Popup())
                return 0;
            command = ::GetMenuItemID(menu.Popup(), static_cast<int>(m_uDefaultMenuItem));
        }
        ::PostMessageW(target->m_hWnd, WM_COMMAND, command, 0);
        return 1;
    }
    default:
        return 1;
    }
}

LRESULT CSystemTray::OnSettingChange(WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = DefWindowProc(WM_SETTINGCHANGE, wParam, lParam);
    if (wParam == SPI_SETWORKAREA && !m_bHidden)
        ReAddIcon();
    return result;
}

LRESULT CSystemTray::OnTaskbarCreated(WPARAM, LPARAM)
{
    if (!m_bHidden)
        ReAddIcon();
    return 0;
}
