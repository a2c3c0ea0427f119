// The capture road with real windows: the capture entry runs the full-screen
// window modally, the options dialog floats on it and works from the
// keyboard inside that loop, drags set the area and the highlight.
#include <gtest/gtest.h>

#include <windows.h>
#include <dlgs.h>

#include "TestCaptureApp.h"
#include "TestSupport.h"
#include "capture/CaptureGeometry.h"
#include "capture/OptionsLogic.h"
#include "res/resource.h"

namespace {

HWND Item(const CWnd& dlg, int id) { return ::GetDlgItem(dlg.m_hWnd, id); }
bool Checked(const CWnd& dlg, int id) { return ::IsDlgButtonChecked(dlg.m_hWnd, id) == BST_CHECKED; }
bool Enabled(const CWnd& dlg, int id) { return ::IsWindowEnabled(Item(dlg, id)) != FALSE; }

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// A press, the moves and the release, as the mouse would send them.
void DragOn(HWND hwnd, POINT from, std::initializer_list<POINT> moves)
{
    ::SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, Point(from.x, from.y));
    POINT last = from;
    for (POINT pt : moves) {
        ::SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, Point(pt.x, pt.y));
        last = pt;
    }
    ::SendMessageW(hwnd, WM_LBUTTONUP, 0, Point(last.x, last.y));
}

// A press and release of the left button where a person would click.
void ClickAt(int x, int y)
{
    INPUT input[3] = {};
    for (INPUT& in : input)
        in.type = INPUT_MOUSE;
    input[0].mi.dx = x * 65536 / ::GetSystemMetrics(SM_CXSCREEN) + 1;
    input[0].mi.dy = y * 65536 / ::GetSystemMetrics(SM_CYSCREEN) + 1;
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(3, input, sizeof(INPUT));
}

COLORREF ImagePixel(const CBitmap& image, int x, int y)
{
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CSelection select(dc, image);
    return ::GetPixel(dc, x, y);
}

COLORREF Inverse(COLORREF c) { return RGB(255 - GetRValue(c), 255 - GetGValue(c), 255 - GetBValue(c)); }

// A visible window of the test's own to be the foreground window at the grab.
class ForegroundWindow : public CWnd {
public:
    ForegroundWindow()
    {
        CreateEx(0, AfxRegisterWndClass(0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)), L"foreground",
                 WS_POPUP | WS_VISIBLE, 50, 60, 300, 200, nullptr, nullptr);
        ::SetForegroundWindow(m_hWnd);
    }
};

// Whether upper comes before lower in the z-order of top-level windows.
bool IsAbove(HWND upper, HWND lower)
{
    for (HWND hwnd = ::GetWindow(upper, GW_HWNDNEXT); hwnd; hwnd = ::GetWindow(hwnd, GW_HWNDNEXT))
        if (hwnd == lower)
            return true;
    return false;
}

// A visible dialog of this thread that has the control (when controlId is
// not 0) or else the owner.
struct DialogSearch {
    int controlId;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<DialogSearch*>(lp);
    wchar_t cls[16] = {};
    ::GetClassNameW(hwnd, cls, 16);
    if (!::IsWindowVisible(hwnd) || ::lstrcmpW(cls, L"#32770") != 0)
        return TRUE;
    if (s->controlId ? ::GetDlgItem(hwnd, s->controlId) != nullptr : ::GetWindow(hwnd, GW_OWNER) == s->owner) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(DialogSearch search)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), &MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindDialogWith(int controlId) { return FindDialog({controlId, nullptr, nullptr}); }

// A common dialog, known by its owner.
HWND FindDialogOwnedBy(HWND owner) { return FindDialog({0, owner, nullptr}); }

}  // namespace

TEST(CaptureWindow, OptionsDialogTakesTabShiftTabAndEscInsideTheModalLoop)
{
    TestCaptureApp app;
    app.m_atomFullscreen = 0xC001;
    app.m_atomWindow = 0xC002;
    CCaptureDlg& capture = app.m_captureDlg;
    COptionsDlg& options = capture.m_optionsDlg;
    HBITMAP grabbed = nullptr;

    LoopScript script(
        {
            [&] {
                ASSERT_TRUE(capture.IsWindowVisible());
                CRect rc;
                capture.GetWindowRect(&rc);
                // Over the virtual screen, as the system sees it.
                const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN), y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
                EXPECT_EQ(rc, CRect(x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                    y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)));
                const VirtualScreen& screen = app.m_session.m_screen;
                const CRect primary(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
                EXPECT_EQ(screen.primary, ScreenToImage(screen, primary));
                ASSERT_TRUE(options.IsWindowVisible());
                // The focus the capture window got when shown went on.
                EXPECT_TRUE(::IsChild(options, ::GetFocus())) 
                    << "focus on " << ::GetFocus() << ", capture window " << capture.m_hWnd << ", options "
                    << options.m_hWnd << ", active " << ::GetActiveWindow();
                EXPECT_EQ(app.m_session.m_pwndMagnifier, &options.m_staticMagnifier);
                EXPECT_TRUE(Checked(options, IDC_AREA_FULLSCREEN));
                EXPECT_TRUE(app.m_session.m_rcArea.IsRectEmpty());

                // A hotkey meanwhile does nothing: no new grab.
                grabbed = static_cast<HBITMAP>(app.m_session.m_bmpScreen.GetSafeHandle());
                CaptureScreen(app.m_atomWindow);
                EXPECT_EQ(app.m_session.m_bmpScreen.GetSafeHandle(), grabbed);

                // Enter, Esc and Alt+F4 on the capture window leave it open.
                capture.PostMessage(WM_KEYDOWN, VK_ESCAPE, 0);
                capture.PostMessage(WM_KEYDOWN, VK_RETURN, 0);
                capture.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
            },
            [&] {
                ASSERT_TRUE(capture.IsWindowVisible());
                ASSERT_TRUE(options.IsWindowVisible());
                // A focus the capture window gets in a later turn of the
                // loop (a late activation on a loaded machine) goes on as
                // well, so Esc keeps working.
                ::SetFocus(capture.m_hWnd);
                EXPECT_TRUE(::IsChild(options, ::GetFocus())) << "focus on " << ::GetFocus();
                options.m_editFilename.SetFocus();
                options.m_editFilename.PostMessage(WM_KEYDOWN, VK_TAB, 0);
            },
            [&] {
                EXPECT_EQ(::GetFocus(), Item(options, IDC_SAVE_TO_FILE));
                BYTE keys[256] = {};
                ::GetKeyboardState(keys);
                keys[VK_SHIFT] = 0x80;
                ::SetKeyboardState(keys);
                ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
            },
            [&] {
                BYTE keys[256] = {};
                ::GetKeyboardState(keys);
                keys[VK_SHIFT] = 0;
                ::SetKeyboardState(keys);
                EXPECT_EQ(::GetFocus(), options.m_editFilename.m_hWnd);
                ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
            },
        },
        [&] { options.DestroyWindow(); });

    CaptureScreen(app.m_atomFullscreen);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(capture.m_hWnd, nullptr);
    // The options dialog outlives the capture window, unowned, parked off
    // the screen (shaped to nothing) and disabled, so it takes no keys.
    ASSERT_NE(options.m_hWnd, nullptr);
    EXPECT_FALSE(options.IsOnScreen());
    RECT shape{};
    EXPECT_EQ(::GetWindowRgnBox(options, &shape), NULLREGION);
    EXPECT_FALSE(::IsWindowEnabled(options));
    EXPECT_EQ(::GetWindow(options, GW_OWNER), nullptr);
    EXPECT_EQ(app.m_session.m_pwndMagnifier, nullptr);
    WINDOWPLACEMENT wp{};
    EXPECT_TRUE(ParseWindowPos(app.GetProfileString(L"", L"WindowPosOptions"), &wp));
}

TEST(CaptureWindow, DragsSetTheAreaOrInMarkModeTheHighlightAndTheReadoutShowsWhatIsOnScreen)
{
    TestCaptureApp app;
    // Nothing leaves the machine when OK runs.
    app.WriteProfileInt(L"", L"Clipboard", 0);
    app.WriteProfileInt(L"", L"Save", 0);
    app.WriteProfileInt(L"", L"Upload", 0);
    app.m_atomWindow = 0xC123;
    ForegroundWindow foreground;
    CCaptureDlg& capture = app.m_captureDlg;
    COptionsDlg& options = capture.m_optionsDlg;
    const double zoomBefore = app.m_session.m_dZoom;

    LoopScript script(
        {
            [&] {
                // The window hotkey starts with the foreground window's rectangle.
                EXPECT_EQ(app.m_session.m_rcWindow, CRect(50, 60, 350, 260));
                EXPECT_EQ(app.m_session.m_rcArea, app.m_session.m_rcWindow);
                EXPECT_TRUE(Checked(options, IDC_AREA_WINDOW));

                DragOn(capture, {10, 10}, {{40, 40}, {20, 20}});
                EXPECT_EQ(app.m_session.m_rcArea, CRect(10, 10, 21, 21));
                EXPECT_TRUE(Checked(options, IDC_AREA_CUSTOM));
                EXPECT_FALSE(Checked(options, IDC_AREA_WINDOW));

                options.m_btnMarkArea.SendMessage(BM_CLICK);
                EXPECT_TRUE(app.m_session.m_bMarkMode);
                DragOn(capture, {100, 100}, {{200, 150}});
                EXPECT_EQ(app.m_session.m_rcHighlight, CRect(100, 100, 201, 151));
                EXPECT_EQ(app.m_session.m_rcArea, CRect(10, 10, 21, 21));
                EXPECT_FALSE(app.m_session.m_bMarkMode);
                EXPECT_EQ(options.m_btnMarkArea.GetCheck(), BST_UNCHECKED);
                capture.RedrawWindow(RDW_INVALIDATE | RDW_UPDATENOW);
            },
            [&] {
                // Red over the highlight's outline, the inverse inside the area.
                capture.SendMessage(WM_MOUSEMOVE, 0, Point(100, 120));
                EXPECT_EQ(options.m_staticColor.GetWindowText(), L"#FF0000 ");
                capture.SendMessage(WM_MOUSEMOVE, 0, Point(15, 15));
                EXPECT_EQ(options.m_staticColor.GetWindowText(),
                          FormatColorReadout(Inverse(ImagePixel(app.m_session.m_bmpScreen, 15, 15))));

                capture.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
                EXPECT_EQ(app.m_session.m_dZoom, ZoomAfterWheel(zoomBefore, 240));
                options.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
                options.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 60), 0);
                EXPECT_EQ(app.m_session.m_dZoom, ZoomAfterWheel(zoomBefore, 120));

                // A real click without a move: the whole image again.
                options.m_editFilename.SetFocus();
                ClickAt(300, 300);
            },
            [&] {
                EXPECT_TRUE(app.m_session.m_rcArea.IsRectEmpty());
                EXPECT_TRUE(Checked(options, IDC_AREA_FULLSCREEN));
                // The click left the options dialog active and on top: keys
                // still go there.
                EXPECT_EQ(::GetActiveWindow(), options.m_hWnd);
                EXPECT_EQ(::GetFocus(), options.m_editFilename.m_hWnd);
                EXPECT_TRUE(IsAbove(options, capture));
                options.m_editFilename.PostMessage(WM_KEYDOWN, VK_RETURN, 0);
            },
        },
        [&] { options.DestroyWindow(); });

    CaptureScreen(app.m_atomWindow);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(capture.m_hWnd, nullptr) << "Enter runs OK, which closes both windows";
    EXPECT_EQ(::GetForegroundWindow(), foreground.m_hWnd) << "the foreground goes back";
    // The zoom outlives the capture.
    EXPECT_EQ(app.m_session.m_dZoom, ZoomAfterWheel(zoomBefore, 120));
}

TEST(CaptureWindow, TheOptionsDialogIsKeptBetweenCapturesAndEveryControlStartsAfresh)
{
    TestCaptureApp app;
    app.WriteProfileInt(L"", L"Format", 1008);
    app.m_atomFullscreen = 0xC001;
    app.m_atomWindow = 0xC002;
    ForegroundWindow foreground;
    CCaptureDlg& capture = app.m_captureDlg;
    COptionsDlg& options = capture.m_optionsDlg;
    HWND first = nullptr;

    // The first capture leaves every control changed, as a person or an
    // upload would.
    {
        LoopScript script(
            {
                [&] {
                    first = options.m_hWnd;
                    EXPECT_TRUE(Checked(options, IDC_AREA_WINDOW));
                    options.m_editFilename.SetWindowText(L"changed.gif");
                    options.m_btnMarkArea.SendMessage(BM_CLICK);
                    options.m_btnSelfDestruct.SendMessage(BM_CLICK);
                    options.m_btnClipboard.SendMessage(BM_CLICK);
                    options.CheckRadioButton(IDC_FORMAT_JPG_HIGH, IDC_FORMAT_PNG, IDC_FORMAT_GIF);
                    options.m_progress.SetPos(70);
                    options.m_progress.ShowWindow(SW_SHOW);
                    // As Tab would: Cancel takes the focus and the default look.
                    options.SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(options, IDCANCEL)), TRUE);
                    options.PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
                },
            },
            [&] { options.DestroyWindow(); });
        CaptureScreen(app.m_atomWindow);
        EXPECT_TRUE(script.Finished());
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(options.m_hWnd, first);

    foreground.DestroyWindow();
    LoopScript script(
        {
            [&] {
                EXPECT_EQ(options.m_hWnd, first) << "the same window, not a new one";
                ASSERT_TRUE(options.IsWindowVisible());
                EXPECT_EQ(::GetWindow(options, GW_OWNER), capture.m_hWnd);
                EXPECT_TRUE(IsAbove(options, capture));
                EXPECT_EQ(app.m_session.m_pwndMagnifier, &options.m_staticMagnifier);
                EXPECT_EQ(::GetFocus(), options.m_editFilename.m_hWnd);
                EXPECT_NE(options.m_editFilename.GetWindowText(), L"changed.gif");
                EXPECT_EQ(options.m_editFilename.GetWindowText().Right(4), L".png");
                EXPECT_TRUE(Checked(options, IDC_FORMAT_PNG));
                EXPECT_TRUE(Checked(options, IDC_CLIPBOARD));
                EXPECT_TRUE(Checked(options, IDC_AREA_FULLSCREEN));
                EXPECT_FALSE(Checked(options, IDC_AREA_WINDOW));
                EXPECT_FALSE(Checked(options, IDC_MARK_AREA));
                EXPECT_FALSE(Checked(options, IDC_SELF_DESTRUCT));
                EXPECT_FALSE(Enabled(options, IDC_SELF_DESTRUCT_TIME));
                EXPECT_FALSE(options.m_progress.IsWindowVisible());
                EXPECT_EQ(options.m_progress.GetPos(), 0);
                // Enter is OK again, whatever button had the focus before.
                EXPECT_EQ(::GetWindowLongW(Item(options, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
                EXPECT_EQ(::GetWindowLongW(Item(options, IDCANCEL), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
                ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
            },
        },
        [&] { options.DestroyWindow(); });
    CaptureScreen(app.m_atomFullscreen);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(options.m_hWnd, first);
    EXPECT_FALSE(options.IsOnScreen());
}

TEST(CaptureWindow, AnAddressLeftByTheUploadIsShownOnceAfterTheCaptureWindowCloses)
{
    TestCaptureApp app;
    app.m_atomWindow = 0xC002;
    COptionsDlg& options = app.m_captureDlg.m_optionsDlg;
    CString shown;
    bool captureGoneMeanwhile = false;

    LoopScript script(
        {
            [&] {
                options.m_uploaded.m_strAddress = L"http://localhost/i/abc.png";  // as a finished upload leaves it
                ::PostMessageW(options.m_editFilename, WM_KEYDOWN, VK_ESCAPE, 0);
            },
            [&] {
                HWND result = FindDialogWith(IDC_EDIT_URL);
                ASSERT_NE(result, nullptr);
                captureGoneMeanwhile = app.m_captureDlg.m_hWnd == nullptr;
                wchar_t text[256] = {};
                ::GetDlgItemTextW(result, IDC_EDIT_URL, text, 256);
                shown = text;
                ::PostMessageW(result, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            },
        },
        [&] {
            options.DestroyWindow();
            if (HWND result = FindDialogWith(IDC_EDIT_URL))
                ::PostMessageW(result, WM_COMMAND, IDOK, 0);
        });

    CaptureScreen(0xC001);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(captureGoneMeanwhile);
    EXPECT_EQ(shown, L"http://localhost/i/abc.png");
}

namespace {

// The options dialog on its own, as the capture window would create it.
class OptionsFixture : public ::testing::Test {
protected:
    void Open()
    {
        ASSERT_TRUE(dlg.Create(IDD_OPTIONS, nullptr));
    }
    void TearDown() override { dlg.DestroyWindow(); }
    void Click(int id) { ::SendMessageW(Item(dlg, id), BM_CLICK, 0, 0); }

    TestCaptureApp app;
    COptionsDlg dlg{app.m_session, nullptr};
};

}  // namespace

TEST_F(OptionsFixture, ControlsComeFromTheSettings)
{
    app.WriteProfileInt(L"", L"Clipboard", 0);
    app.WriteProfileInt(L"", L"Save", 1);
    app.WriteProfileInt(L"", L"Upload", 1);
    app.WriteProfileInt(L"", L"Format", 1007);
    app.WriteProfileInt(L"", L"DPIScale", 1);
    app.WriteProfileString(L"", L"SelfDestructTime", L"1 h");
    app.WriteProfileString(L"", L"Dir", L"C:\\pics");
    app.WriteProfileString(L"", L"Filename", L"Shot");
    app.WriteProfileInt(L"", L"Randomize", 0);
    app.WriteProfileInt(L"", L"AppendSeq", 0);
    app.m_session.m_rcWindow = CRect(5, 5, 300, 200);
    app.m_session.m_rcArea = app.m_session.m_rcWindow;
    Open();

    EXPECT_FALSE(Checked(dlg, IDC_CLIPBOARD));
    EXPECT_TRUE(Checked(dlg, IDC_SAVE_TO_FILE));
    EXPECT_TRUE(Checked(dlg, IDC_UPLOAD));
    EXPECT_TRUE(Checked(dlg, IDC_FORMAT_GIF));
    EXPECT_EQ(dlg.GetFormatExtension(), L"gif");
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"Shot.gif");
    EXPECT_EQ(dlg.m_strDir, L"C:\\pics");
    EXPECT_EQ(dlg.m_btnUpload.GetWindowText(), L"Upload to localhost Image Hosting");
    EXPECT_TRUE(Checked(dlg, IDC_AREA_WINDOW));
    EXPECT_TRUE(Enabled(dlg, IDC_AREA_WINDOW));
    // Self-destruct: off at every opening, its list filled and disabled with
    // the stored entry (a prefix, any case) selected.
    EXPECT_FALSE(Checked(dlg, IDC_SELF_DESTRUCT));
    EXPECT_TRUE(Enabled(dlg, IDC_SELF_DESTRUCT));
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT_TIME));
    EXPECT_EQ(dlg.m_comboSelfDestruct.GetCount(), 12);
    EXPECT_EQ(dlg.m_comboSelfDestruct.GetWindowText(), L"1 hour");
    // The DPI box is usable only off 96 DPI but always shows the stored check.
    CClientDC screen(nullptr);
    EXPECT_EQ(Enabled(dlg, IDC_DPI_SCALE), ::GetDeviceCaps(screen, LOGPIXELSX) != 96);
    EXPECT_TRUE(Checked(dlg, IDC_DPI_SCALE));
    EXPECT_FALSE(dlg.m_progress.IsWindowVisible());
    EXPECT_EQ(app.m_session.m_pwndMagnifier, &dlg.m_staticMagnifier);
    CRect mag;
    ::GetWindowRect(Item(dlg, IDC_MAGNIFIER), &mag);
    ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&mag), 2);
    EXPECT_EQ(mag, EvenEdges(mag));
}

TEST_F(OptionsFixture, UnknownFormatChecksNoneAndEmptyWindowOffersNoActiveWindow)
{
    app.WriteProfileInt(L"", L"Format", 1009);  // a capture radio's id, not a format
    app.WriteProfileInt(L"", L"DPIScale", 0);
    app.WriteProfileString(L"", L"Filename", L"Shot");
    app.WriteProfileInt(L"", L"Randomize", 0);
    app.WriteProfileInt(L"", L"AppendSeq", 0);
    app.m_session.m_rcWindow.SetRectEmpty();
    app.m_session.m_rcArea.SetRectEmpty();
    Open();

    for (int id = IDC_FORMAT_JPG_HIGH; id <= IDC_FORMAT_PNG; ++id)
        EXPECT_FALSE(Checked(dlg, id)) << id;
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"Shot.");
    EXPECT_FALSE(Checked(dlg, IDC_DPI_SCALE));
    EXPECT_TRUE(Checked(dlg, IDC_AREA_FULLSCREEN));
    EXPECT_FALSE(Checked(dlg, IDC_AREA_WINDOW));
    EXPECT_FALSE(Enabled(dlg, IDC_AREA_WINDOW));
}

TEST_F(OptionsFixture, DestinationsDecideWhatCanBeEditedAndEveryClickFixesTheName)
{
    app.WriteProfileInt(L"", L"Clipboard", 1);
    app.WriteProfileInt(L"", L"Save", 0);
    app.WriteProfileInt(L"", L"Upload", 0);
    Open();

    // The clipboard alone: name and formats do not matter.
    EXPECT_FALSE(Enabled(dlg, IDC_FILENAME));
    for (int id = IDC_FORMAT_JPG_HIGH; id <= IDC_FORMAT_PNG; ++id)
        EXPECT_FALSE(Enabled(dlg, id)) << id;
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT));
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT_TIME));
    CClientDC screen(nullptr);
    const bool dpiUsable = ::GetDeviceCaps(screen, LOGPIXELSX) != 96;
    EXPECT_EQ(Enabled(dlg, IDC_DPI_SCALE), dpiUsable);
    EXPECT_TRUE(Enabled(dlg, IDC_BROWSE));
    EXPECT_TRUE(Enabled(dlg, IDC_MARK_AREA));

    // Nothing at all: enabled again.
    Click(IDC_CLIPBOARD);
    EXPECT_TRUE(Enabled(dlg, IDC_FILENAME));
    EXPECT_TRUE(Enabled(dlg, IDC_FORMAT_GIF));

    // Upload on enables the self-destruct box; its check enables the list.
    Click(IDC_UPLOAD);
    EXPECT_TRUE(Enabled(dlg, IDC_SELF_DESTRUCT));
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT_TIME));
    Click(IDC_SELF_DESTRUCT);
    EXPECT_TRUE(Enabled(dlg, IDC_SELF_DESTRUCT_TIME));
    Click(IDC_UPLOAD);
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT));
    EXPECT_FALSE(Enabled(dlg, IDC_SELF_DESTRUCT_TIME));

    // Formats rewrite the extension; the radios exclude only each other.
    dlg.m_editFilename.SetWindowText(L"my.report");
    Click(IDC_FORMAT_PNG);
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"my.png");
    Click(IDC_FORMAT_GIF);
    EXPECT_FALSE(Checked(dlg, IDC_FORMAT_PNG));
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"my.gif");
    EXPECT_TRUE(Checked(dlg, IDC_AREA_FULLSCREEN));
    dlg.m_editFilename.SetWindowText(L"shot");
    Click(IDC_FORMAT_JPG_LOW);
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"shot.jpg");
    // A destination box normalises the name too.
    dlg.m_editFilename.SetWindowText(L"other.bmp");
    Click(IDC_SAVE_TO_FILE);
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"other.jpg");
    // None of this touches the DPI box, Browse or Mark Area.
    EXPECT_EQ(Enabled(dlg, IDC_DPI_SCALE), dpiUsable);
    EXPECT_TRUE(Enabled(dlg, IDC_BROWSE));
    EXPECT_TRUE(Enabled(dlg, IDC_MARK_AREA));
}

TEST_F(OptionsFixture, TemplateTabOrderAndCaptureButtons)
{
    app.WriteProfileInt(L"", L"Upload", 1);
    Open();
    Click(IDC_SELF_DESTRUCT);  // so every tab stop is enabled
    // The checked radio of each group is a tab stop too, in template order.
    const int order[] = {IDC_FILENAME, IDC_SAVE_TO_FILE, IDC_UPLOAD, IDC_FORMAT_JPG_HIGH, IDOK, IDCANCEL,
                         IDC_AREA_FULLSCREEN, IDC_BROWSE, IDC_CLIPBOARD, IDC_MARK_AREA, IDC_DPI_SCALE,
                         IDC_SELF_DESTRUCT, IDC_SELF_DESTRUCT_TIME, IDC_TOOL_ARROW, IDC_TOOL_RECTANGLE, IDC_TOOL_PEN,
                         IDC_TOOL_MARKER, IDC_TOOL_TEXT, IDC_TOOL_STEP, IDC_TOOL_PIXELATE, IDC_TOOL_REDACT,
                         IDC_COLOR_RED, IDC_WIDTH_4, IDC_UNDO, IDC_REDO};
    HWND at = Item(dlg, IDC_FILENAME);
    if (!Enabled(dlg, IDC_DPI_SCALE))
        ::EnableWindow(Item(dlg, IDC_DPI_SCALE), TRUE);
    for (size_t i = 1; i <= std::size(order); ++i) {
        at = ::GetNextDlgTabItem(dlg, at, FALSE);
        EXPECT_EQ(::GetDlgCtrlID(at), order[i % std::size(order)]) << "after " << order[i - 1];
    }
    // Every control is a visible child.
    for (HWND child = ::GetWindow(dlg, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        EXPECT_TRUE((style & WS_CHILD) != 0);
        EXPECT_TRUE((style & WS_VISIBLE) != 0 || ::GetDlgCtrlID(child) == IDC_PROGRESS);
    }
    EXPECT_TRUE((::GetWindowLongPtrW(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);

    app.m_session.m_rcWindow = CRect(1, 2, 30, 40);
    Click(IDC_AREA_WINDOW);
    EXPECT_EQ(app.m_session.m_rcArea, app.m_session.m_rcWindow);
    Click(IDC_AREA_FULLSCREEN);
    EXPECT_TRUE(app.m_session.m_rcArea.IsRectEmpty());
    Click(IDC_MARK_AREA);
    EXPECT_TRUE(app.m_session.m_bMarkMode);
    Click(IDC_MARK_AREA);
    EXPECT_FALSE(app.m_session.m_bMarkMode);
}

TEST_F(OptionsFixture, BrowseTakesTheChosenNameAndFolderForThisCaptureOnly)
{
    app.WriteProfileInt(L"", L"Format", 1008);
    app.WriteProfileString(L"", L"Dir", L"C:\\nowhere");
    Open();
    dlg.ShowWindow(SW_SHOWNORMAL);
    const CString folder = TempDirPath(L"").Left(TempDirPath(L"").GetLength() - 1);
    const CString chosen = folder + L"\\orvo-browse.png";

    // The save dialog runs its own loop; the script answers it from there.
    auto answer = [&](bool confirm) {
        HWND save = FindDialogOwnedBy(dlg);
        ASSERT_NE(save, nullptr);
        if (confirm) {
            const int nameId = ::GetDlgItem(save, cmb13) ? cmb13 : edt1;
            ::SetDlgItemTextW(save, nameId, chosen);
        }
        ::PostMessageW(save, WM_COMMAND, MAKEWPARAM(confirm ? IDOK : IDCANCEL, BN_CLICKED), 0);
    };
    auto rescue = [&] {
        if (HWND save = FindDialogOwnedBy(dlg))
            ::PostMessageW(save, WM_COMMAND, IDCANCEL, 0);
    };
    const CString before = dlg.m_editFilename.GetWindowText();
    {
        LoopScript script({[&] { answer(false); }}, rescue);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), reinterpret_cast<LPARAM>(Item(dlg, IDC_BROWSE)));
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), before) << "cancelled: nothing changes";
    EXPECT_EQ(dlg.m_strDir, L"C:\\nowhere");
    {
        LoopScript script({[&] { answer(true); }}, rescue);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), reinterpret_cast<LPARAM>(Item(dlg, IDC_BROWSE)));
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_EQ(dlg.m_editFilename.GetWindowText(), L"orvo-browse.png");
    EXPECT_EQ(dlg.m_strDir.CompareNoCase(folder), 0) << dlg.m_strDir.GetString();
    EXPECT_EQ(app.GetProfileString(L"", L"Dir"), L"C:\\nowhere") << "the folder is not stored";
}

TEST_F(OptionsFixture, PlacementIsStoredWhenClosedAndRestoredOnlyOnTheScreen)
{
    Open();
    ::SetWindowPos(dlg, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    CRect size;
    dlg.GetWindowRect(&size);
    dlg.EndCapture();
    EXPECT_EQ(app.m_session.m_pwndMagnifier, nullptr);
    dlg.DestroyWindow();
    WINDOWPLACEMENT stored{};
    ASSERT_TRUE(ParseWindowPos(app.GetProfileString(L"", L"WindowPosOptions"), &stored));
    EXPECT_EQ(stored.rcNormalPosition.left, 123);
    EXPECT_EQ(stored.rcNormalPosition.top, 77);

    Open();
    CRect rc;
    dlg.GetWindowRect(&rc);
    EXPECT_EQ(rc, CRect(123, 77, 123 + size.Width(), 77 + size.Height()));
    dlg.DestroyWindow();

    // Off every monitor (this desktop has one): centred instead.
    app.WriteProfileString(L"", L"WindowPosOptions", L"0,1,-1,-1,-1,-1,-500,77");
    Open();
    dlg.GetWindowRect(&rc);
    EXPECT_GE(rc.left, 0);
    dlg.DestroyWindow();
    app.WriteProfileString(L"", L"WindowPosOptions", L"0,1,-1,-1,-1,-1,123");
    Open();
    CRect centred;
    dlg.GetWindowRect(&centred);
    EXPECT_EQ(centred, rc) << "too few fields: centred the same way";
}
