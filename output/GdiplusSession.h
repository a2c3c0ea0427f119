// GDI+ for the length of one scope, and owners for the GDI+ objects made
// inside it. Owners must end before the session does: declare the session
// first.
#pragma once

#include <windows.h>
// The GDI+ headers need what the lean Windows headers leave out.
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // What the start-up returned; nothing else may be used unless it is Ok.
    Gdiplus::Status Status() const { return m_status; }
    bool IsRunning() const { return m_status == Gdiplus::Ok; }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::Status m_status;
};

struct GdipImageDeleter {
    void operator()(Gdiplus::GpImage* image) const { Gdiplus::DllExports::GdipDisposeImage(image); }
};
struct GdipGraphicsDeleter {
    void operator()(Gdiplus::GpGraphics* graphics) const { Gdiplus::DllExports::GdipDeleteGraphics(graphics); }
};

using GdipBitmapPtr = std::unique_ptr<Gdiplus::GpBitmap, GdipImageDeleter>;
using GdipGraphicsPtr = std::unique_ptr<Gdiplus::GpGraphics, GdipGraphicsDeleter>;
