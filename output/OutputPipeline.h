// The road from the frozen screen to the user's destinations: what the
// options dialog's OK does, runnable without the dialog.
#pragma once

#include <windows.h>

#include "capture/OutputChoices.h"
#include "framework/CString.h"

class CaptureSession;
class CTextProgressCtrl;

// Stores the output settings, then burns the highlight into the session's
// screen image, crops the request's area, scales, reduces and delivers the
// image to the clipboard (owned by clipboardOwner), the output directory and
// the image host (driving progress). Returns the address of a finished
// upload, empty when there is none. Does not destroy any window.
CString RunOutputPipeline(CaptureSession& session, const OutputRequest& request, HWND clipboardOwner,
                          CTextProgressCtrl& progress);

// Index of the GDI+ encoder with this MIME type, its CLSID in *pClsid; -1
// when there is none. GDI+ must be running.
int GetEncoderClsid(const wchar_t* mimeType, CLSID* pClsid);
