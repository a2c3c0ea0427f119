// The application object: start-up, the message loop, the profile store and
// the wait cursor. A program defines one static object of a class derived
// from CWinApp; its WinMain calls AfxWinMain.
#pragma once

#include "framework/CWnd.h"

class CWinApp {
public:
    // Without a name, the application is named after the executable file.
    explicit CWinApp(LPCWSTR appName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT, then ExitInstance.
    virtual int Run();
    virtual int ExitInstance();
    // Offers a message to the window it is for and that window's parents
    // before it is dispatched; TRUE means it was consumed.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // Settings go to HKEY_CURRENT_USER\Software\<company>\<application name>
    // once a registry key is set; before that the store is not available.
    void SetRegistryKey(LPCWSTR company);
    // Every call opens the keys, performs one query or write and closes them
    // again: nothing is cached, so one writer's value is the next reader's.
    // Reads never create a key; writes create the keys they need.
    UINT GetProfileInt(LPCWSTR section, LPCWSTR entry, int defaultValue) const;
    CString GetProfileString(LPCWSTR section, LPCWSTR entry, LPCWSTR defaultValue = nullptr) const;
    BOOL WriteProfileInt(LPCWSTR section, LPCWSTR entry, int value) const;
    BOOL WriteProfileString(LPCWSTR section, LPCWSTR entry, LPCWSTR value) const;

    void BeginWaitCursor();
    void EndWaitCursor();

    CString m_strAppName;
    CString m_strRegistryKey;
    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr;

private:
    HKEY OpenSectionKey(LPCWSTR section, bool forWriting) const;
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitCursorRestore = nullptr;
};

CWinApp* AfxGetApp();

// The wait cursor for one scope: shown when made, the previous cursor back
// when it goes. Nothing happens without an application object.
class CWaitCursor {
public:
    CWaitCursor()
    {
        if (CWinApp* app = AfxGetApp())
            app->BeginWaitCursor();
    }
    ~CWaitCursor()
    {
        if (CWinApp* app = AfxGetApp())
            app->EndWaitCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
// The executable's file name without directory and extension: the
// application's name unless its constructor was given another.
CString AfxExecutableBaseName();
// The application is also the program's one user-interface thread.
inline CWinApp* AfxGetThread() { return AfxGetApp(); }
CWnd* AfxGetMainWnd();

// Walks from the message's window up through its parents, offering the
// message to each bound object's PreTranslateMessage; then offers it to the
// active dialog when no object is bound to that dialog.
BOOL AfxPreTranslateMessage(MSG* pMsg);

// The program's one message loop, run by CWinApp::Run and, nested, by every
// modal dialog: each message goes to the application's PreTranslateMessage
// (AfxPreTranslateMessage) and is dispatched when nobody consumed it.
// Returns true when keepRunning turned false (checked before each wait),
// false when WM_QUIT arrived; a nested loop (keepRunning given) puts the
// quit message back so the loops around it end too.
bool AfxRunMessageLoop(bool (*keepRunning)(void* context) = nullptr, void* context = nullptr);

// A message box captioned with the application name. A box without an icon
// flag gets the exclamation icon.
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK);

// The body of WinMain: fills in the application object and runs it.
int AfxWinMain(HINSTANCE hInstance, LPWSTR cmdLine, int cmdShow);
