// The real start-up of the program with one difference: the tray's hotkey
// callback reports the identifier it receives on standard output instead of
// starting a capture, so a test can see what the X server's key presses
// deliver. Prints "ready FULLSCREEN-ATOM WINDOW-ATOM" once it listens.
#include <cstdio>

#include "app/OrvoCaptureApp.h"

namespace {

void ReportHotkey(int hotkeyId)
{
    std::printf("hotkey %d\n", hotkeyId);
    std::fflush(stdout);
}

class CHotkeyProbeApp : public COrvoCaptureApp {
public:
    BOOL InitInstance() override
    {
        const BOOL ok = COrvoCaptureApp::InitInstance();
        m_tray.m_pfnHotkey = &ReportHotkey;
        std::printf("ready %d %d\n", m_atomFullscreen, m_atomWindow);
        std::fflush(stdout);
        return ok;
    }
};

CHotkeyProbeApp theProbe;

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR cmdLine, int cmdShow)
{
    return AfxWinMain(hInstance, cmdLine, cmdShow);
}
