#include "app/OrvoCaptureApp.h"

#include <commctrl.h>

#include "app/CommandLine.h"
#include "output/OutputPipeline.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "settings/StartupDefaults.h"

// The capture window's OK runs the output pipeline: the application is where
// the capture and the output meet.
COrvoCaptureApp::COrvoCaptureApp() : m_captureDlg(m_session, &RunOutputPipeline) {}

BOOL COrvoCaptureApp::InitInstance()
{
    // Held for the life of the process so other programs can tell it runs;
    // a second instance is not refused.
    ::CreateMutexW(nullptr, FALSE, L"OrvoCaptureRunning");
    // Both modes read the settings; only what is written creates the key.
    SetRegistryKey(kRegistryCompany);

    const CString upperTail = UpperCaseCommandLine(m_lpCmdLine);
    if (IsUploadMode(upperTail)) {
        RunUploadMode(UploadPathFromCommandLine(upperTail));
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    PutStartupDefaults();

    m_tray.AddToTray(::LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME)));
    m_tray.ChooseDefaultMenuItem(ID_TRAY_SETTINGS, FALSE);
    m_tray.m_pfnHotkey = &CaptureScreen;
    m_pMainWnd = &m_tray;
    RegisterHotkeys();
    return TRUE;
}

int COrvoCaptureApp::ExitInstance()
{
    ReleaseHotkeys();
    return CWinApp::ExitInstance();
}

void COrvoCaptureApp::ReleaseHotkeys()
{
    for (ATOM* atom : {&m_atomFullscreen, &m_atomWindow}) {
        if (*atom == 0)
            continue;
        if (m_pMainWnd)
            ::UnregisterHotKey(m_pMainWnd->m_hWnd, *atom);
        ::GlobalDeleteAtom(*atom);
        *atom = 0;
    }
}
