// The road from the frozen screen to the user's destinations: what the
// options dialog's OK does, runnable without the dialog.
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "output/OutputFormat.h"

class CTextProgressCtrl;

// The dialog's choices at the moment OK is pressed.
struct OutputRequest {
    CString fileName;               // the file name edit, exactly as typed
    int format = FormatNone;        // checked format radio (OutputFormat), or 0
    bool copyToClipboard = false;
    bool saveToFile = false;
    bool upload = false;
    bool scaleToStandardDpi = false;  // checked; scales only a screen not at 96 DPI
    int areaMode = 0;               // checked capture radio 1009..1011, or 0; only stored
    bool selfDestruct = false;
    CString selfDestructLabel;      // text of the self-destruct list
    CString outputDir;              // the dialog's output directory
};

// Stores the settings, then burns the highlight into the application's
// screen image, crops the area, scales, reduces and delivers the image to
// the clipboard (owned by clipboardOwner), the output directory and the
// image host (driving progress); a finished upload's address replaces the
// application's m_strUploadUrl. Does not destroy any window.
void RunOutputPipeline(const OutputRequest& request, HWND clipboardOwner, CTextProgressCtrl& progress);

// Index of the GDI+ encoder with this MIME type, its CLSID in *pClsid; -1
// when there is none. GDI+ must be running.
int GetEncoderClsid(const wchar_t* mimeType, CLSID* pClsid);
