// What the options dialog offers and what its OK asks for: the output
// formats by the id of their radio button (the id is also what the "Format"
// setting stores), the self-destruct times, and the request the output
// carries out.
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "framework/Geometry.h"

class CaptureSession;
class CTextProgressCtrl;

enum OutputFormat : int {
    FormatNone = 0,  // no format radio checked: nothing is encoded
    FormatJpgHigh = 1004,
    FormatJpgMedium = 1005,
    FormatJpgLow = 1006,
    FormatGif = 1007,
    FormatPng = 1008,
};

struct OutputFormatInfo {
    OutputFormat id;
    const wchar_t* extension;  // "jpg", "gif", "png"
    const wchar_t* mimeType;   // of the GDI+ encoder
    ULONG jpegQuality;         // EncoderQuality for the JPEG rows, 0 otherwise
};

// The table row of a format id, or null for FormatNone and any other value.
const OutputFormatInfo* FindOutputFormat(int id);
// The extension of a format id, empty when the id is no format.
CString FormatExtension(int id);

struct SelfDestructTime {
    const wchar_t* label;
    int seconds;
};
// The self-destruct choices in list order, ended by a row {L"", 0}.
extern const SelfDestructTime g_selfDestructTimes[];
// Seconds of the row whose label equals label exactly, or false when none.
bool FindSelfDestructSeconds(const CString& label, int* pSeconds);

// The dialog's choices at the moment OK is pressed.
struct OutputRequest {
    CString fileName;                 // the file name edit, exactly as typed
    int format = FormatNone;          // checked format radio (OutputFormat), or 0
    bool copyToClipboard = false;
    bool saveToFile = false;
    bool upload = false;
    bool scaleToStandardDpi = false;  // checked; scales only a screen not at 96 DPI
    int areaMode = 0;                 // checked capture radio 1009..1011, or 0; only stored
    CRect area;                       // what to cut out; empty means the primary monitor
    bool selfDestruct = false;
    CString selfDestructLabel;        // text of the self-destruct list
    CString outputDir;                // the dialog's output directory
};

// Delivers the session's image as the request asks, with progress shown on
// the bar and the clipboard owned by clipboardOwner; returns the address of
// a finished upload, empty when there is none. The application supplies it:
// it ties the capture to the output.
using OutputRunner = CString (*)(CaptureSession& session, const OutputRequest& request, HWND clipboardOwner,
                                 CTextProgressCtrl& progress);
