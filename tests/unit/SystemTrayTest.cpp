#include <gtest/gtest.h>

#include "res/resource.h"
#include "app/SystemTray.h"

namespace {
int g_lastHotkey = -1;
int g_hotkeyCalls = 0;
void RecordHotkey(int id)
{
    g_lastHotkey = id;
    ++g_hotkeyCalls;
}
}  // namespace

TEST(SystemTray, TheIconRecordCarriesTheTipCallbackAndIdentifier)
{
    CSystemTray tray;
    EXPECT_TRUE(tray.IsHidden());
    const BOOL added = tray.AddToTray(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    ASSERT_NE(tray.m_hWnd, nullptr);
    EXPECT_EQ(tray.IsHidden(), !added);
    const NOTIFYICONDATAW& nid = tray.IconData();
    EXPECT_EQ(nid.hWnd, tray.m_hWnd);
    EXPECT_EQ(nid.uID, 132u);
    EXPECT_EQ(nid.uCallbackMessage, static_cast<UINT>(WM_APP + 123));
    EXPECT_EQ(nid.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_STREQ(nid.szTip, L"OrvoCapture v2.0");
    EXPECT_NE(nid.hIcon, nullptr);
    // The window is a zero-size popup that never shows.
    CRect rc;
    tray.GetWindowRect(&rc);
    EXPECT_TRUE(rc.IsRectEmpty());
    EXPECT_FALSE(tray.IsWindowVisible());
}

TEST(SystemTray, EveryHotkeyReachesTheCallbackWithItsIdentifier)
{
    CSystemTray tray;
    tray.AddToTray(nullptr);
    g_hotkeyCalls = 0;
    ::SendMessageW(tray, WM_HOTKEY, 0xC001, 0);  // no callback yet: nothing happens
    EXPECT_EQ(g_hotkeyCalls, 0);
    tray.m_pfnHotkey = &RecordHotkey;
    ::SendMessageW(tray, WM_HOTKEY, 0xC001, MAKELPARAM(0, VK_SNAPSHOT));
    EXPECT_EQ(g_lastHotkey, 0xC001);
    ::SendMessageW(tray, WM_HOTKEY, 7, 0);  // not filtered by identifier
    EXPECT_EQ(g_lastHotkey, 7);
    EXPECT_EQ(g_hotkeyCalls, 2);
}

TEST(SystemTray, CallbacksForOtherIconsOrWithoutAMainWindowDoNothing)
{
    CSystemTray tray;
    tray.AddToTray(nullptr);
    EXPECT_EQ(::SendMessageW(tray, WM_TRAY_CALLBACK, 131, WM_RBUTTONUP), 0);
    // These tests have no application object, so there is no main window to
    // show the menu on.
    EXPECT_EQ(::SendMessageW(tray, WM_TRAY_CALLBACK, 132, WM_RBUTTONUP), 0);
}

TEST(SystemTray, DefaultMenuItemIsStoredAndAppliedToTheMenu)
{
    CSystemTray tray;
    tray.AddToTray(nullptr);  // the menu is the one named by the icon's identifier
    EXPECT_TRUE(tray.ChooseDefaultMenuItem(ID_TRAY_SETTINGS, FALSE));
    EXPECT_TRUE(tray.ChooseDefaultMenuItem(ID_TRAY_SETTINGS, FALSE));  // unchanged: answered at once
    HMENU menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAYMENU));
    ASSERT_NE(menu, nullptr);
    HMENU popup = ::GetSubMenu(menu, 0);
    ASSERT_EQ(::GetMenuItemCount(popup), 3);
    EXPECT_EQ(::GetMenuItemID(popup, 0), static_cast<UINT>(ID_TRAY_ABOUT));
    EXPECT_EQ(::GetMenuItemID(popup, 1), static_cast<UINT>(ID_TRAY_SETTINGS));
    EXPECT_EQ(::GetMenuItemID(popup, 2), static_cast<UINT>(ID_TRAY_EXIT));
    ::DestroyMenu(menu);
}

TEST(SystemTray, TaskbarRecreationPutsAShownIconBackOnly)
{
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    CSystemTray tray;
    tray.AddToTray(nullptr);
    const bool hiddenBefore = tray.IsHidden();
    EXPECT_EQ(::SendMessageW(tray, taskbarCreated, 0, 0), 0);
    // A shown icon stays shown; an icon whose first add failed stays absent.
    EXPECT_EQ(tray.IsHidden(), hiddenBefore);
    EXPECT_TRUE(tray.RemoveFromTray());
    EXPECT_TRUE(tray.IsHidden());
    ::SendMessageW(tray, taskbarCreated, 0, 0);
    ::SendMessageW(tray, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    EXPECT_TRUE(tray.IsHidden());
}

TEST(SystemTray, ExitCommandEndsTheMessageLoop)
{
    CSystemTray tray;
    tray.AddToTray(nullptr);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    ::SendMessageW(tray, WM_COMMAND, ID_TRAY_EXIT, 0);
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    // Only wParam exactly the menu's command: an accelerator's (code 1) is not it.
    ::SendMessageW(tray, WM_COMMAND, MAKEWPARAM(ID_TRAY_EXIT, 1), 0);
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
