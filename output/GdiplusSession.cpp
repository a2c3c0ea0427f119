#include "output/GdiplusSession.h"

GdiplusSession::GdiplusSession()
{
    // Version 1, no debug callback; GDI+ keeps its background thread and
    // may use external codecs.
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

GdiplusSession::~GdiplusSession()
{
    if (m_status == Gdiplus::Ok)
        Gdiplus::GdiplusShutdown(m_token);
}
