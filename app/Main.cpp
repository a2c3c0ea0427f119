#include "app/OrvoCaptureApp.h"

COrvoCaptureApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR cmdLine, int cmdShow)
{
    return AfxWinMain(hInstance, cmdLine, cmdShow);
}
