#include <gtest/gtest.h>

#include "TestSupport.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "ui/LinkTarget.h"

namespace {

// A link-bearing control in a window of its own, painted once.
class LinkControl {
public:
    explicit LinkControl(const wchar_t* markup)
    {
        m_text.SubclassWindow(::CreateWindowExW(0, L"Static", markup, WS_CHILD | WS_VISIBLE, 10, 10, 300, 60,
                                                HostWindow(), nullptr, nullptr, nullptr));
        m_text.RedrawWindow();
    }
    CXHTMLStatic& Text() { return m_text; }
    POINT ScreenPointOf(size_t link)
    {
        const RECT& rc = m_text.Links().at(link).rect;
        POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        ::ClientToScreen(m_text, &pt);
        return pt;
    }
    std::wstring TipText()
    {
        wchar_t text[256] = {};
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof(ti);
        ti.hwnd = m_text;
        ti.uId = 1;
        ti.lpszText = text;
        m_text.LinkTip().SendMessage(TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
        return text;
    }

private:
    CXHTMLStatic m_text;
};

}  // namespace

TEST(XHTMLStatic, SubclassingAddsNotifyAndAPaintRecordsLinksAndStartsTheTimer)
{
    LinkControl control(L"see <a href=\"APP:one\">one</a> or <a href=APP:two>two</a>");
    CXHTMLStatic& text = control.Text();
    EXPECT_TRUE(text.GetStyle() & SS_NOTIFY);
    ASSERT_EQ(text.Links().size(), 2u);
    EXPECT_EQ(text.Links()[0].target, L"\"APP:one\"");
    EXPECT_EQ(text.Links()[1].target, L"APP:two");
    EXPECT_LT(text.Links()[0].rect.right, text.Links()[1].rect.left);
    EXPECT_TRUE(text.IsHoverTimerRunning());
    EXPECT_NE(text.LinkCursor(), nullptr);
    // Colours are set without a repaint and give back the previous one.
    EXPECT_EQ(text.SetBackgroundColor(L"White"), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(text.SetBackgroundColor(RGB(1, 2, 3)), RGB(255, 255, 255));
    EXPECT_EQ(text.SetForegroundColor(L"#FF0000"), ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(text.SetForegroundColor(RGB(0, 0, 0)), RGB(255, 0, 0));
}

TEST(XHTMLStatic, HoverShowsTheHandAndTheTipOfTheLinkUnderThePointerOnly)
{
    LinkControl control(L"see <a href=\"APP:one\">one</a> or <a href=APP:two>two</a>");
    CXHTMLStatic& text = control.Text();
    ASSERT_EQ(text.Links().size(), 2u);
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    ::SetCursor(arrow);

    POINT pt = control.ScreenPointOf(1);
    ::SetCursorPos(pt.x, pt.y);
    text.SendMessage(WM_TIMER, 1);
    EXPECT_TRUE(text.IsPointerOverLink());
    EXPECT_EQ(::GetCursor(), text.LinkCursor());
    EXPECT_EQ(control.TipText(), L"Go to: APP:two");
    // The pointer shape set by the timer stays while over a link.
    EXPECT_EQ(text.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(text.m_hWnd), HTCLIENT), FALSE);

    pt = control.ScreenPointOf(0);
    ::SetCursorPos(pt.x, pt.y);
    text.SendMessage(WM_TIMER, 1);
    EXPECT_EQ(control.TipText(), L"Go to: \"APP:one\"");

    // Off every link: the pointer shape from before the first hover returns.
    RECT client;
    text.GetClientRect(&client);
    POINT blank{client.right - 2, client.bottom - 2};
    ::ClientToScreen(text, &blank);
    ::SetCursorPos(blank.x, blank.y);
    text.SendMessage(WM_TIMER, 1);
    EXPECT_FALSE(text.IsPointerOverLink());
    EXPECT_EQ(::GetCursor(), arrow);
}

TEST(XHTMLStatic, DestroyingTheControlStopsItsTimer)
{
    LinkControl control(L"<a href=APP:x>x</a>");
    ASSERT_TRUE(control.Text().IsHoverTimerRunning());
    control.Text().DestroyWindow();
    EXPECT_FALSE(control.Text().IsHoverTimerRunning());
}

TEST(XHTMLStatic, TheAboutBoxIsWhiteAndShowsTheTwoLinks)
{
    CAboutDlg dlg;
    ASSERT_TRUE(dlg.Create(IDD_ABOUTBOX, &HostWindow()));
    wchar_t title[64] = {};
    ::GetWindowTextW(dlg, title, 64);
    EXPECT_STREQ(title, L"About OrvoCapture");
    dlg.ShowWindow(SW_SHOWNA);
    dlg.m_text.RedrawWindow();
    ASSERT_EQ(dlg.m_text.Links().size(), 2u);
    EXPECT_EQ(dlg.m_text.Links()[0].target, L"mailto:dev@orvo.example");
    HDC dc = ::GetDC(dlg);
    const LRESULT brush = dlg.SendMessage(WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dlg.m_hWnd));
    const LRESULT staticBrush =
        dlg.SendMessage(WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, IDOK)));
    ::ReleaseDC(dlg, dc);
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(staticBrush, brush);
    dlg.DestroyWindow();
}

TEST(LinkTarget, ApplicationTargetsOpenNothing)
{
    EXPECT_TRUE(IsApplicationTarget(L"APP:about"));
    EXPECT_TRUE(IsApplicationTarget(L"app:x"));
    EXPECT_TRUE(IsApplicationTarget(L"\"App:x\""));
    EXPECT_FALSE(IsApplicationTarget(L" APP:x"));
    EXPECT_FALSE(IsApplicationTarget(L"APP"));
    EXPECT_FALSE(IsApplicationTarget(L""));
    EXPECT_FALSE(OpenLinkTarget(L"\"aPp:quit\""));
}

TEST(LinkTarget, TheFallbackCommandCutsThePlaceholderAndAppendsTheTarget)
{
    EXPECT_EQ(FallbackCommandLine(L"browser.exe \"%1\"", L"http://x/"), L"browser.exe  http://x/");
    EXPECT_EQ(FallbackCommandLine(L"browser.exe %1 -new", L"t"), L"browser.exe  t");
    EXPECT_EQ(FallbackCommandLine(L"browser.exe", L"\"t\""), L"browser.exe \"t\"");
}

TEST(LinkTarget, RegisteredValuesLongerThanTheBufferAreRefused)
{
    const std::wstring key = L"OrvoCaptureLinkTargetTest";
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    auto set = [k](const std::wstring& value, DWORD bytes) {
        ::RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    };
    std::wstring read;
    const std::wstring fits(129, L'a');  // 258 bytes with its terminating zero
    set(fits, static_cast<DWORD>((fits.size() + 1) * sizeof(wchar_t)));
    EXPECT_TRUE(ReadClassesRootDefault(key, &read));
    EXPECT_EQ(read, fits);
    const std::wstring tooLong(200, L'b');
    set(tooLong, static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t)));
    EXPECT_FALSE(ReadClassesRootDefault(key, &read));
    // One character past the buffer is already too long.
    const std::wstring justOver(130, L'c');
    set(justOver, static_cast<DWORD>((justOver.size() + 1) * sizeof(wchar_t)));
    EXPECT_FALSE(ReadClassesRootDefault(key, &read));
    DWORD number = 5;
    ::RegSetValueExW(k, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    EXPECT_FALSE(ReadClassesRootDefault(key, &read));
    ::RegCloseKey(k);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_FALSE(ReadClassesRootDefault(key, &read));
}
