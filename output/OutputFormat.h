// The output formats the options dialog offers, by the id of their radio
// button (the id is also what the "Format" setting stores), and the tables
// the pipeline shares with the dialog: self-destruct times and the texts of
// GDI+ status values.
#pragma once

#include <windows.h>

#include "framework/CString.h"

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

// Texts of the GDI+ Status values 0 to 21, by number.
extern const wchar_t* const g_gdipStatusText[22];
// The text of a status; a status without one reads "GDI+ status N".
CString GdipStatusText(int status);
