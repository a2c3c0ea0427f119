#include "framework/CWinApp.h"

#include "framework/RegKey.h"

namespace {
CWinApp* g_pApp = nullptr;
}  // namespace

CString AfxExecutableBaseName()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    CString name(path);
    const int slash = name.ReverseFind(L'\\') > name.ReverseFind(L'/') ? name.ReverseFind(L'\\')
                                                                        : name.ReverseFind(L'/');
    name = name.Mid(slash + 1);
    const int dot = name.ReverseFind(L'.');
    return dot > 0 ? name.Left(dot) : name;
}


CWinApp::CWinApp(LPCWSTR appName)
{
    g_pApp = this;
    if (appName)
        m_strAppName = appName;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

namespace {
bool IsDialogWindow(HWND hwnd)
{
    wchar_t name[8] = {};
    return ::GetClassNameW(hwnd, name, 8) && ::lstrcmpW(name, L"#32770") == 0;
}
}  // namespace

BOOL AfxPreTranslateMessage(MSG* pMsg)
{
    for (HWND hwnd = pMsg->hwnd; hwnd; hwnd = ::GetParent(hwnd)) {
        if (CWnd* pWnd = CWnd::FromHandlePermanent(hwnd))
            if (pWnd->PreTranslateMessage(pMsg))
                return TRUE;
        if (!(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
            break;  // stop at the top-level window
    }
    // A bound dialog has had its say above; one that no object was bound to
    // still gets Tab, Enter and Escape the dialog way while it is active.
    // (IsDialogMessage ignores messages for windows outside the dialog.)
    HWND active = ::GetActiveWindow();
    if (active && IsDialogWindow(active) && !CWnd::FromHandlePermanent(active))
        return ::IsDialogMessageW(active, pMsg);
    return FALSE;
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) { return AfxPreTranslateMessage(pMsg); }

bool AfxRunMessageLoop(bool (*keepRunning)(void*), void* context)
{
    MSG msg;
    while (!keepRunning || keepRunning(context)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // WM_QUIT (or a broken queue): every loop out to the outermost ends.
            if (keepRunning)
                ::PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 0);
            return false;
        }
        CWinApp* app = AfxGetApp();
        const BOOL consumed = app ? app->PreTranslateMessage(&msg) : AfxPreTranslateMessage(&msg);
        if (!consumed) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

int CWinApp::Run()
{
    AfxRunMessageLoop();
    return ExitInstance();
}

void CWinApp::SetRegistryKey(LPCWSTR company) { m_strRegistryKey = company; }

HKEY CWinApp::OpenSectionKey(LPCWSTR section, bool forWriting) const
{
    if (m_strRegistryKey.IsEmpty())
        return nullptr;
    // One call for the whole path (each call is a round trip to the
    // registry's server under Wine). The empty section is the application
    // key itself.
    CString path = CString(L"Software\\") + m_strRegistryKey + L"\\" + m_strAppName;
    if (section && *section)
        path = path + L"\\" + section;
    RegKey key;
    // A read opens what is there and creates nothing: a program that only
    // reads leaves no key behind. A write makes the keys it needs.
    if (!forWriting) {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
            return nullptr;
    } else {
        DWORD disposition = 0;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                              nullptr, key.Out(), &disposition) != ERROR_SUCCESS)
            return nullptr;
    }
    return key.Release();
}

UINT CWinApp::GetProfileInt(LPCWSTR section, LPCWSTR entry, int defaultValue) const
{
    RegKey key(OpenSectionKey(section, false));
    if (!key)
        return static_cast<UINT>(defaultValue);
    DWORD value = 0, type = 0, size = sizeof(value);
    if (::RegQueryValueExW(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return static_cast<UINT>(defaultValue);
    return value;
}

CString CWinApp::GetProfileString(LPCWSTR section, LPCWSTR entry, LPCWSTR defaultValue) const
{
    RegKey key(OpenSectionKey(section, false));
    DWORD type = 0, size = 0;
    if (!key || ::RegQueryValueExW(key, entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return CString(defaultValue);
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS)
        return CString(defaultValue);
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0')
        data.pop_back();
    return CString(std::move(data));
}

BOOL CWinApp::WriteProfileInt(LPCWSTR section, LPCWSTR entry, int value) const
{
    RegKey key(OpenSectionKey(section, true));
    if (!key)
        return FALSE;
    const DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExW(key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
           ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileString(LPCWSTR section, LPCWSTR entry, LPCWSTR value) const
{
    RegKey key(OpenSectionKey(section, true));
    if (!key)
        return FALSE;
    const wchar_t* text = value ? value : L"";
    const DWORD size = static_cast<DWORD>((::lstrlenW(text) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size) == ERROR_SUCCESS;
}

void CWinApp::BeginWaitCursor()
{
    if (m_nWaitCursorCount++ == 0)
        m_hcurWaitCursorRestore = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    else
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

void CWinApp::EndWaitCursor()
{
    if (m_nWaitCursorCount > 0 && --m_nWaitCursorCount == 0)
        ::SetCursor(m_hcurWaitCursorRestore ? m_hcurWaitCursorRestore : ::LoadCursorW(nullptr, IDC_ARROW));
}

int AfxMessageBox(LPCWSTR text, UINT type)
{
    if ((type & MB_ICONMASK) == 0)
        type |= MB_ICONEXCLAMATION;
    CWinApp* app = AfxGetApp();
    HWND owner = nullptr;
    if (CWnd* main = AfxGetMainWnd())
        owner = ::IsWindowEnabled(main->m_hWnd) ? main->m_hWnd : nullptr;
    // An active modal dialog is the better owner: it stays above the box.
    if (HWND active = ::GetActiveWindow())
        owner = active;
    return ::MessageBoxW(owner, text, app ? app->m_strAppName.GetString() : L"", type);
}

int AfxWinMain(HINSTANCE hInstance, LPWSTR cmdLine, int cmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = cmdShow;
    if (app->m_strAppName.IsEmpty())
        app->m_strAppName = AfxExecutableBaseName();
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
