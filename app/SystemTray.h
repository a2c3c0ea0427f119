// The notification-area icon and its hidden window, which is also the
// program's main window: it receives the icon's mouse callbacks, the commands
// of the icon's menu and the global hotkeys.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "framework/CWnd.h"

constexpr UINT WM_TRAY_CALLBACK = WM_APP + 123;

class CSystemTray : public CWnd {
public:
    CSystemTray();
    ~CSystemTray() override;

    // Creates the window and adds the icon with its tip.
    BOOL AddToTray(HICON icon);
    BOOL RemoveFromTray();
    // Chooses the menu item shown in bold and run by a double-click.
    BOOL ChooseDefaultMenuItem(UINT item, BOOL byPosition);
    virtual LRESULT HandleTrayCallback(WPARAM wParam, LPARAM lParam);

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

    // Called with the identifier of every hotkey that reaches the window.
    void (*m_pfnHotkey)(int hotkeyId) = nullptr;

    bool IsHidden() const { return m_bHidden; }
    const NOTIFYICONDATAW& IconData() const { return m_nid; }

private:
    void ReAddIcon();
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnHotkey(WPARAM wParam, LPARAM lParam);
    void OnExit();
    void OnAbout();
    void OnSettings();
    LRESULT OnSettingChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);

    NOTIFYICONDATAW m_nid;
    BOOL m_bEnabled = FALSE;
    BOOL m_bHidden = TRUE;
    BOOL m_bRemoved = TRUE;
    UINT m_uDefaultMenuItem = 0;
    BOOL m_bDefaultByPosition = TRUE;
    UINT m_uCreationFlags = 0;
};
