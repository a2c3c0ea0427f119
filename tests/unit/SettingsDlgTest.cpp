#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TestCaptureApp.h"
#include "app/SettingsDlg.h"
#include "settings/FileNaming.h"
#include "settings/StartupDefaults.h"
#include "res/resource.h"

namespace {

// The dialog as the tray opens it, but modeless, so the test can act on it.
class OpenSettings {
public:
    explicit OpenSettings(TestCaptureApp& app) : m_app(app)
    {
        EXPECT_TRUE(m_dlg.Create(IDD_SETTINGS, nullptr));
    }
    ~OpenSettings()
    {
        m_dlg.DestroyWindow();
        // Hotkeys an OK registered belong to this test only.
        if (m_app.m_atomFullscreen)
            ::UnregisterHotKey(nullptr, m_app.m_atomFullscreen);
        if (m_app.m_atomWindow)
            ::UnregisterHotKey(nullptr, m_app.m_atomWindow);
    }
    CSettingsDlg& operator*() { return m_dlg; }
    CSettingsDlg* operator->() { return &m_dlg; }
    std::wstring Sample() const { return m_dlg.m_staticSample.GetWindowText().Str(); }
    void Click(int id) { ::SendMessageW(::GetDlgItem(m_dlg, id), BM_CLICK, 0, 0); }
    // Typed at the end of the field, as after a click behind the text.
    void Type(const wchar_t* text)
    {
        m_dlg.m_editDefaultName.SetSel(0x7FFF, 0x7FFF);
        for (; *text; ++text)
            m_dlg.m_editDefaultName.SendMessage(WM_CHAR, *text, 1);
    }

private:
    TestCaptureApp& m_app;
    CSettingsDlg m_dlg;
};

// Answers the folder picker from another thread while the dialog's thread
// waits in it: presses the button with the given id once the picker shows.
class FolderPickerAnswer {
public:
    explicit FolderPickerAnswer(int button)
        : m_thread([this, button] {
              for (int i = 0; i < 600 && !m_answered; ++i) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                  ::EnumWindows(&FolderPickerAnswer::Visit, reinterpret_cast<LPARAM>(this));
                  if (m_picker) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(300));
                      ::PostMessageW(m_picker, WM_COMMAND, static_cast<WPARAM>(button), 0);
                      m_answered = true;
                  }
              }
          })
    {
    }
    ~FolderPickerAnswer() { m_thread.join(); }
    FolderPickerAnswer(const FolderPickerAnswer&) = delete;
    FolderPickerAnswer& operator=(const FolderPickerAnswer&) = delete;
    bool Answered() const { return m_answered; }

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM param)
    {
        auto* self = reinterpret_cast<FolderPickerAnswer*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd) &&
            ::FindWindowExW(hwnd, nullptr, L"SysTreeView32", nullptr)) {
            self->m_picker = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    std::atomic<bool> m_answered{false};
    HWND m_picker = nullptr;
    std::thread m_thread;
};

}  // namespace

TEST(SettingsDlg, FreshSettingsShowTheirDefaultsAndTheFirstSample)
{
    TestCaptureApp app;
    PutStartupDefaults();
    OpenSettings dlg(app);
    EXPECT_EQ(dlg->m_btnRandomize.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg->m_btnAppendSeq.GetCheck(), BST_CHECKED);
    EXPECT_EQ(dlg->m_btnAppendDate.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg->m_btnAppendTime.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.Sample(), L"Capture001.jpg");
    EXPECT_EQ(dlg->m_editDefaultName.GetWindowText(), L"Capture");
    EXPECT_EQ(dlg->m_editDir.GetWindowText(), app.GetProfileString(L"", L"Dir"));
    // Both key lists hold the thirteen names in table order.
    ASSERT_EQ(dlg->m_comboFsKey.GetCount(), 13);
    ASSERT_EQ(dlg->m_comboWinKey.GetCount(), 13);
    EXPECT_EQ(dlg->m_comboFsKey.GetWindowText(), L"Print Screen");
    EXPECT_EQ(dlg->m_comboWinKey.GetWindowText(), L"Print Screen");
    EXPECT_EQ(dlg->m_btnWinAlt.GetCheck(), BST_CHECKED);
    EXPECT_EQ(dlg->m_btnFsAlt.GetCheck(), BST_UNCHECKED);
    wchar_t title[32] = {};
    ::GetWindowTextW(*dlg, title, 32);
    EXPECT_STREQ(title, L"Options");
}

TEST(SettingsDlg, TheSampleFollowsEveryKeystrokeAndClickWithoutUsingUpANumber)
{
    TestCaptureApp app;
    PutStartupDefaults();
    app.WriteProfileInt(L"", L"Seqnum", 5);
    OpenSettings dlg(app);
    EXPECT_EQ(dlg.Sample(), L"Capture005.jpg");
    dlg.Type(L"Xy");
    EXPECT_EQ(dlg.Sample(), L"CaptureXy005.jpg");
    dlg.Click(IDC_APPEND_SEQ);
    EXPECT_EQ(dlg.Sample(), L"CaptureXy.jpg");
    dlg.Click(IDC_APPEND_SEQ);
    dlg.Click(IDC_APPEND_DATE);
    EXPECT_EQ(dlg.Sample().substr(0, 15), L"CaptureXy005-20");
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 5u);
    // Random names: ten characters and the extension, new each time.
    dlg.Click(IDC_RANDOMIZE);
    const std::wstring first = dlg.Sample();
    dlg.Click(IDC_APPEND_TIME);
    EXPECT_EQ(first.size(), 14u);
    EXPECT_EQ(first.substr(10), L".jpg");
    EXPECT_NE(dlg.Sample(), first);
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 5u);
}

TEST(SettingsDlg, ResetWritesAtOnceAndCancelKeepsIt)
{
    TestCaptureApp app;
    PutStartupDefaults();
    app.WriteProfileInt(L"", L"Seqnum", 42);
    OpenSettings dlg(app);
    EXPECT_EQ(dlg.Sample(), L"Capture042.jpg");
    dlg.Click(IDC_RESET_SEQ);
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 1u);
    EXPECT_EQ(dlg.Sample(), L"Capture001.jpg");
    dlg.Type(L"Z");
    dlg.Click(IDCANCEL);
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 1u);
    EXPECT_EQ(app.GetProfileString(L"", L"Filename"), L"Capture");  // nothing else was stored
}

TEST(SettingsDlg, AFolderChosenIsStoredAtOnceAndCancellingThePickerChangesNothing)
{
    TestCaptureApp app;
    PutStartupDefaults();
    app.WriteProfileString(L"", L"Dir", L"C:\\before");
    OpenSettings dlg(app);
    {
        FolderPickerAnswer answer(IDCANCEL);
        dlg.Click(IDC_BROWSE_DIR);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(app.GetProfileString(L"", L"Dir"), L"C:\\before");
    EXPECT_EQ(dlg->m_editDir.GetWindowText(), L"C:\\before");
    {
        FolderPickerAnswer answer(IDOK);
        dlg.Click(IDC_BROWSE_DIR);
        EXPECT_TRUE(answer.Answered());
    }
    const CString chosen = app.GetProfileString(L"", L"Dir");
    EXPECT_NE(chosen, L"C:\\before");
    EXPECT_FALSE(chosen.IsEmpty());
    EXPECT_EQ(dlg->m_editDir.GetWindowText(), chosen);
    dlg.Click(IDCANCEL);
    EXPECT_EQ(app.GetProfileString(L"", L"Dir"), chosen);
}

TEST(SettingsDlg, UnknownKeysAndOddFlagsShowEmptyAndOkStoresWhatIsShown)
{
    TestCaptureApp app;
    PutStartupDefaults();
    app.WriteProfileString(L"", L"HotkeyFS", L"F13");
    app.WriteProfileInt(L"", L"HotkeyFSShift", 2);
    app.WriteProfileInt(L"", L"AppendDate", 7);
    OpenSettings dlg(app);
    EXPECT_EQ(dlg->m_comboFsKey.GetCurSel(), CB_ERR);
    EXPECT_EQ(dlg->m_btnFsShift.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg->m_btnAppendDate.GetCheck(), BST_UNCHECKED);
    dlg->m_editDefaultName.SetWindowText(L"");
    dlg.Click(IDOK);
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyFS", L"absent"), L"");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyFSShift", 9), 0u);
    EXPECT_EQ(app.GetProfileInt(L"", L"AppendDate", 9), 0u);
    EXPECT_EQ(app.GetProfileString(L"", L"Filename", L"absent"), L"");
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyW"), L"Print Screen");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyWAlt", 0), 1u);
}

TEST(SettingsDlg, OkStoresEveryValueAndTheNewHotkeyIsTakenAtOnce)
{
    TestCaptureApp app;
    PutStartupDefaults();
    OpenSettings dlg(app);
    dlg.Click(IDC_FS_CONTROL);
    dlg->m_comboFsKey.SendMessage(CB_SETCURSEL, 9);  // F9
    dlg.Click(IDC_W_ALT);                             // off
    dlg.Click(IDC_W_SHIFT);
    dlg->m_comboWinKey.SendMessage(CB_SETCURSEL, 12);  // F12
    dlg->m_editDir.SetWindowText(L"D:\\shots");
    dlg.Click(IDC_RANDOMIZE);
    dlg.Click(IDOK);

    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyFS"), L"F9");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyFSControl", 0), 1u);
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyFSAlt", 9), 0u);
    EXPECT_EQ(app.GetProfileString(L"", L"HotkeyW"), L"F12");
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyWShift", 0), 1u);
    EXPECT_EQ(app.GetProfileInt(L"", L"HotkeyWAlt", 9), 0u);
    EXPECT_EQ(app.GetProfileString(L"", L"Dir"), L"D:\\shots");
    EXPECT_EQ(app.GetProfileInt(L"", L"Randomize", 0), 1u);
    EXPECT_EQ(app.GetProfileInt(L"", L"AppendSeq", 0), 1u);

    // The new combinations are registered now: nobody else can have them,
    // and the old ones are free again.
    ASSERT_NE(app.m_atomFullscreen, 0);
    EXPECT_FALSE(::RegisterHotKey(nullptr, 0xB001, MOD_CONTROL, VK_F9));
    EXPECT_FALSE(::RegisterHotKey(nullptr, 0xB002, MOD_SHIFT, VK_F12));
    EXPECT_TRUE(::RegisterHotKey(nullptr, 0xB003, 0, VK_SNAPSHOT));
    ::UnregisterHotKey(nullptr, 0xB003);
    EXPECT_FALSE(dlg->IsWindowVisible());
}
