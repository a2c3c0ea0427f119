#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "framework/CDialog.h"
#include "framework/CWinApp.h"
#include "framework/Controls.h"
#include "framework/DialogPlacement.h"
#include "framework/Gdi.h"

namespace {

constexpr UINT WM_PROBE = WM_APP + 1;

class CRecordingWnd : public CWnd {
public:
    std::vector<UINT> seen;
    static const MessageMap* Map()
    {
        static const MessageMap map(CWnd::Map(), {
            OnMessage(WM_CREATE, &CRecordingWnd::OnCreate),
            OnMessage(WM_PROBE, &CRecordingWnd::OnProbe),
            OnCommand(100, BN_CLICKED, &CRecordingWnd::OnChildClicked),
        });
        return &map;
    }
    const MessageMap* GetMessageMap() const override { return Map(); }

    LRESULT OnCreate(WPARAM, LPARAM)
    {
        seen.push_back(WM_CREATE);
        return Default();
    }
    virtual LRESULT OnProbe(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) + 1; }
    void OnChildClicked() { seen.push_back(WM_COMMAND); }
};

// A derived table is searched before its base's.
class CDerivedWnd : public CRecordingWnd {
public:
    static const MessageMap* Map()
    {
        static const MessageMap map(CRecordingWnd::Map(), {
            OnMessage(WM_PROBE, &CDerivedWnd::OnProbeTwice),
        });
        return &map;
    }
    const MessageMap* GetMessageMap() const override { return Map(); }
    LRESULT OnProbeTwice(WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) * 2; }
};

// A button that handles its own clicks and colour.
class CSelfClickingButton : public CButton {
public:
    int clicks = 0;
    static const MessageMap* Map()
    {
        static const MessageMap map(CButton::Map(), {
            OnReflectedCommand(BN_CLICKED, &CSelfClickingButton::OnClicked),
            OnReflectedMessage(WM_CTLCOLORBTN, &CSelfClickingButton::OnCtlColor),
            OnReflectedMessage(WM_DRAWITEM, &CSelfClickingButton::OnDrawItem),
        });
        return &map;
    }
    const MessageMap* GetMessageMap() const override { return Map(); }
    void OnClicked() { ++clicks; }
    LRESULT OnCtlColor(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH)); }
    int draws = 0;
    LRESULT OnDrawItem(WPARAM, LPARAM)
    {
        ++draws;
        return TRUE;
    }
};

HWND CreatePopup(CWnd& wnd)
{
    wnd.CreateEx(0, AfxRegisterWndClass(0), L"test", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr);
    return wnd.m_hWnd;
}

}  // namespace

TEST(MessageMap, CreatedWindowsSeeWmCreateAndDerivedEntriesWin)
{
    CRecordingWnd base;
    ASSERT_NE(CreatePopup(base), nullptr);
    ASSERT_EQ(base.seen.size(), 1u);
    EXPECT_EQ(base.seen[0], static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(::SendMessageW(base, WM_PROBE, 20, 0), 21);
    EXPECT_EQ(CWnd::FromHandlePermanent(base), &base);

    CDerivedWnd derived;
    ASSERT_NE(CreatePopup(derived), nullptr);
    EXPECT_EQ(::SendMessageW(derived, WM_PROBE, 20, 0), 40);
    // Messages nobody maps get the default processing.
    ::SetWindowTextW(derived, L"title");
    EXPECT_EQ(derived.GetWindowText(), L"title");
}

TEST(MessageMap, DestroyingTheWindowReleasesTheObject)
{
    CRecordingWnd wnd;
    HWND hwnd = CreatePopup(wnd);
    ASSERT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
    EXPECT_FALSE(::IsWindow(hwnd));
}

namespace {
// Records the moment it is bound: its window and what it had seen by then.
class CBindingProbe : public CWnd {
public:
    HWND boundTo = nullptr;
    int messagesBefore = -1;
    int messages = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        ++messages;
        return CWnd::WindowProc(message, wParam, lParam);
    }

protected:
    void PreSubclassWindow() override
    {
        boundTo = m_hWnd;
        messagesBefore = messages;
    }
};
}  // namespace

TEST(MessageMap, PreSubclassWindowRunsOnceBoundBeforeAnyMessage)
{
    CBindingProbe created;
    ASSERT_TRUE(created.CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(created.boundTo, created.m_hWnd);
    EXPECT_EQ(created.messagesBefore, 0);
    EXPECT_GT(created.messages, 0);

    HWND plain = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    CBindingProbe subclassed;
    ASSERT_TRUE(subclassed.SubclassWindow(plain));
    EXPECT_EQ(subclassed.boundTo, plain);
    EXPECT_EQ(subclassed.messagesBefore, 0);
}

TEST(MessageMap, NotificationsGoToTheControlFirstThenToTheParent)
{
    CRecordingWnd parent;
    CreatePopup(parent);
    HWND plain = ::CreateWindowW(L"BUTTON", L"plain", WS_CHILD | BS_PUSHBUTTON, 0, 0, 20, 20, parent,
                                 reinterpret_cast<HMENU>(100), nullptr, nullptr);
    HWND own = ::CreateWindowW(L"BUTTON", L"own", WS_CHILD | BS_PUSHBUTTON, 0, 0, 20, 20, parent,
                               reinterpret_cast<HMENU>(100), nullptr, nullptr);
    CSelfClickingButton button;
    ASSERT_TRUE(button.SubclassWindow(own));

    // A control nobody bound: the parent's own entry handles it.
    ::SendMessageW(plain, BM_CLICK, 0, 0);
    EXPECT_EQ(parent.seen.back(), static_cast<UINT>(WM_COMMAND));
    const size_t before = parent.seen.size();

    // A bound control that handles the notification keeps it from the parent.
    ::SendMessageW(own, BM_CLICK, 0, 0);
    EXPECT_EQ(button.clicks, 1);
    EXPECT_EQ(parent.seen.size(), before);

    HDC dc = ::GetDC(own);
    EXPECT_EQ(::SendMessageW(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(own)),
              reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH)));
    // An owner-drawn control draws itself.
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.hwndItem = own;
    dis.hDC = dc;
    EXPECT_EQ(::SendMessageW(parent, WM_DRAWITEM, 100, reinterpret_cast<LPARAM>(&dis)), TRUE);
    EXPECT_EQ(button.draws, 1);
    ::ReleaseDC(own, dc);
}

namespace {

class CTestDialog : public CDialog {
public:
    CTestDialog() : CDialog(900) {}
    CEdit m_edit;
    CStatic m_label;
    bool initialised = false;
    bool ownerDisabledWhileOpen = false;
    HWND owner = nullptr;
    UINT_PTR endWith = 0;  // a command to press once the loop runs
    int presses = 1;       // how often
    int endInInit = 0;     // a result to end with from OnInitDialog
    CRect rectAtInit;
    // Saving refuses the edit's first text and puts a corrected one in.
    bool validate = false;
    int refusals = 0;
    bool focusOnRefusedField = false;
    CString saved;

    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, 901, m_edit);
        DDX_Control(pDX, 902, m_label);
        if (!validate || !pDX->m_bSaveAndValidate)
            return;
        if (refusals > 0)
            focusOnRefusedField = ::GetFocus() == m_edit.m_hWnd;
        if (m_edit.GetWindowText() == L"typed") {
            ++refusals;
            m_edit.SetWindowText(L"corrected");
            pDX->Fail(901);
        } else {
            saved = m_edit.GetWindowText();
        }
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        initialised = m_edit.m_hWnd != nullptr && m_label.m_hWnd != nullptr;
        m_edit.SetWindowText(L"typed");
        ownerDisabledWhileOpen = owner && !::IsWindowEnabled(owner);
        GetWindowRect(&rectAtInit);
        for (int i = 0; endWith && i < presses; ++i)
            PostMessage(WM_COMMAND, MAKEWPARAM(endWith, BN_CLICKED), 0);
        if (endInInit)
            EndDialog(endInInit);
        return TRUE;
    }
};

class COwnedDialog : public CTestDialog {
public:
    explicit COwnedDialog(CWnd* parent) { m_pParentWnd = parent; }
};

}  // namespace

TEST(Dialog, ModalLoopEndsWithTheButtonPressedAndReenablesItsOwner)
{
    CRecordingWnd owner;
    CreatePopup(owner);

    // No parent and no main window: an unowned dialog.
    CTestDialog unowned;
    unowned.endWith = IDCANCEL;
    EXPECT_EQ(unowned.DoModal(), IDCANCEL);
    EXPECT_TRUE(unowned.initialised);
    EXPECT_EQ(unowned.m_hWnd, nullptr);

    COwnedDialog owned(&owner);
    owned.owner = owner;
    owned.endWith = IDOK;
    EXPECT_EQ(owned.DoModal(), IDOK);
    EXPECT_TRUE(owned.ownerDisabledWhileOpen);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    // The bound controls let go when the dialog went.
    EXPECT_EQ(owned.m_edit.m_hWnd, nullptr);
}

TEST(Dialog, EndDialogDuringInitialisationEndsItBeforeItShows)
{
    CTestDialog dlg;
    dlg.endInInit = IDCANCEL;
    dlg.endWith = IDOK;  // what a dialog that showed anyway would get
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(Dialog, RefusedValuesKeepTheDialogOpenWithTheFocusOnThem)
{
    CTestDialog dlg;
    dlg.validate = true;
    dlg.endWith = IDOK;
    dlg.presses = 2;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.refusals, 1);
    EXPECT_EQ(dlg.saved, L"corrected");
    EXPECT_TRUE(dlg.focusOnRefusedField);
}

TEST(Dialog, AModalDialogWithAHiddenOwnerOpensCentredWhereThePointerIs)
{
    CRecordingWnd hidden;  // the tray's window is such an owner
    CreatePopup(hidden);
    COwnedDialog dlg(&hidden);
    dlg.endWith = IDOK;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const std::vector<MonitorAreas> monitors = SystemMonitors();
    ASSERT_NE(MonitorAt(monitors, cursor), nullptr);
    const CSize size(dlg.rectAtInit.Width(), dlg.rectAtInit.Height());
    const CPoint centred = CentredInWorkArea(MonitorAt(monitors, cursor)->work, size);
    EXPECT_EQ(dlg.rectAtInit.TopLeft(), centred);

    // A visible owner places its dialog itself.
    COwnedDialog shown(&HostWindow());
    shown.endWith = IDOK;
    ASSERT_EQ(shown.DoModal(), IDOK);
    EXPECT_FALSE(shown.rectAtInit.TopLeft() == centred);
}

TEST(DialogPlacement, ThePointersMonitorOrElseTheNearestOne)
{
    // A primary monitor with a second to its right and a third to its left.
    const std::vector<MonitorAreas> monitors = {
        {CRect(0, 0, 1920, 1080), CRect(0, 0, 1920, 1040)},
        {CRect(1920, 0, 3200, 1024), CRect(1920, 0, 3200, 1024)},
        {CRect(-1280, 56, 0, 1080), CRect(-1280, 56, 0, 1080)},
    };
    EXPECT_EQ(MonitorAt(monitors, CPoint(1919, 5)), &monitors[0]);
    EXPECT_EQ(MonitorAt(monitors, CPoint(1920, 5)), &monitors[1]);
    EXPECT_EQ(MonitorAt(monitors, CPoint(-1, 500)), &monitors[2]);
    // Off every monitor: the nearest, even in the gaps the layout leaves.
    EXPECT_EQ(MonitorAt(monitors, CPoint(5000, 100)), &monitors[1]);
    EXPECT_EQ(MonitorAt(monitors, CPoint(2500, 1060)), &monitors[1]);
    EXPECT_EQ(MonitorAt(monitors, CPoint(-300, 10)), &monitors[2]);
    EXPECT_EQ(MonitorAt(monitors, CPoint(100, 2000)), &monitors[0]);
    EXPECT_EQ(MonitorAt({}, CPoint(0, 0)), nullptr);
}

TEST(DialogPlacement, CentredOnTheWorkAreaAndKeptInsideIt)
{
    EXPECT_EQ(CentredInWorkArea(CRect(0, 0, 1920, 1040), CSize(400, 300)), CPoint(760, 370));
    // A taskbar on the left moves the centre with the free part.
    EXPECT_EQ(CentredInWorkArea(CRect(60, 0, 1920, 1080), CSize(400, 300)), CPoint(790, 390));
    EXPECT_EQ(CentredInWorkArea(CRect(-1280, 56, 0, 1080), CSize(200, 100)), CPoint(-740, 518));
    // Too large: the top-left corner, and the title bar, stay on the monitor.
    EXPECT_EQ(CentredInWorkArea(CRect(1920, 0, 3200, 1024), CSize(1500, 1100)), CPoint(1920, 0));
    EXPECT_EQ(CentredInWorkArea(CRect(0, 0, 1920, 1040), CSize(400, 2000)), CPoint(760, 0));
}

TEST(Dialog, ModelessDialogsAreCreatedBoundAndHandleTheirKeys)
{
    CTestDialog dlg;
    ASSERT_TRUE(dlg.Create(900));
    EXPECT_TRUE(dlg.initialised);
    EXPECT_EQ(CWnd::FromHandlePermanent(dlg.m_edit), &dlg.m_edit);
    EXPECT_EQ(dlg.m_edit.GetWindowText(), L"typed");
    // The message loop offers keys to the dialog before dispatching them.
    MSG msg{dlg.m_edit.m_hWnd, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(AfxPreTranslateMessage(&msg));
    MSG other{dlg.m_edit.m_hWnd, WM_PROBE, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(AfxPreTranslateMessage(&other));
    dlg.DestroyWindow();
}

TEST(GdiOwners, SelectionsAreUndoneAndOwnedObjectsDeleted)
{
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    HGDIOBJ original = ::GetCurrentObject(dc, OBJ_BITMAP);
    HGDIOBJ bitmapHandle = nullptr;
    {
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(dc, 8, 8));
        bitmapHandle = bitmap.GetSafeHandle();
        {
            CSelection select(dc, bitmap);
            EXPECT_EQ(::GetCurrentObject(dc, OBJ_BITMAP), bitmapHandle);
        }
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_BITMAP), original);
        BITMAP info{};
        ASSERT_TRUE(bitmap.GetBitmap(&info));
        EXPECT_EQ(info.bmWidth, 8);
    }
    EXPECT_EQ(::GetObjectType(bitmapHandle), 0u);  // deleted with its owner

    // A DC that was only attached is not deleted by the wrapper.
    HDC raw = ::CreateCompatibleDC(nullptr);
    {
        CDC view;
        view.Attach(raw);
    }
    EXPECT_EQ(::GetObjectType(raw), static_cast<DWORD>(OBJ_MEMDC));
    ::DeleteDC(raw);
}

TEST(WindowClasses, EveryNameHandedOutStaysValid)
{
    const LPCWSTR plain = AfxRegisterWndClass(0);
    const CString plainName = plain;
    EXPECT_NE(CString(AfxRegisterWndClass(CS_DBLCLKS)), plainName);
    EXPECT_EQ(CString(plain), plainName) << "the first name was overwritten";
    EXPECT_EQ(AfxRegisterWndClass(0), plain) << "asked again: the same class";
}

namespace {
INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
}  // namespace

TEST(MessageLoop, AnActiveDialogNobodyBoundStillGetsDialogKeys)
{
    HWND dlg = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(900), nullptr, &PlainDialogProc, 0);
    ASSERT_NE(dlg, nullptr);
    ::ShowWindow(dlg, SW_SHOWNORMAL);
    ::SetActiveWindow(dlg);
    HWND edit = ::GetDlgItem(dlg, 901);
    ::SetFocus(edit);
    ASSERT_EQ(::GetActiveWindow(), dlg);
    MSG tab{edit, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(AfxPreTranslateMessage(&tab));
    EXPECT_NE(::GetFocus(), edit);
    EXPECT_EQ(::GetParent(::GetFocus()), dlg);
    ::DestroyWindow(dlg);
}

TEST(MessageLoop, QuitEndsANestedLoopAndReachesTheOuterOne)
{
    ::PostQuitMessage(7);
    int turns = 0;
    auto keepRunning = [](void* p) { return ++*static_cast<int*>(p) < 1000; };
    EXPECT_FALSE(AfxRunMessageLoop(keepRunning, &turns));
    // The quit message was put back for whoever runs outside.
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);

    // A loop whose condition ends it returns true and leaves the queue alone.
    ::PostMessageW(nullptr, WM_NULL, 0, 0);
    turns = 998;
    EXPECT_TRUE(AfxRunMessageLoop(keepRunning, &turns));
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
}
