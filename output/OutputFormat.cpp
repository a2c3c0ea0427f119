#include "output/OutputFormat.h"

namespace {

constexpr OutputFormatInfo kFormats[] = {
    {FormatJpgHigh, L"jpg", L"image/jpeg", 95},
    {FormatJpgMedium, L"jpg", L"image/jpeg", 90},
    {FormatJpgLow, L"jpg", L"image/jpeg", 85},
    {FormatGif, L"gif", L"image/gif", 0},
    {FormatPng, L"png", L"image/png", 0},
};

}  // namespace

const OutputFormatInfo* FindOutputFormat(int id)
{
    for (const OutputFormatInfo& info : kFormats)
        if (info.id == id)
            return &info;
    return nullptr;
}

CString FormatExtension(int id)
{
    const OutputFormatInfo* info = FindOutputFormat(id);
    return info ? CString(info->extension) : CString();
}

const SelfDestructTime g_selfDestructTimes[] = {
    {L"1 minute", 60},
    {L"5 minutes", 300},
    {L"15 minutes", 900},
    {L"1 hour", 3600},
    {L"4 hours", 14400},
    {L"12 hours", 43200},
    {L"1 day", 86400},
    {L"3 days", 259200},
    {L"1 week", 604800},
    {L"1 month", 2592000},
    {L"6 months", 15552000},
    {L"1 year", 31536000},
    {L"", 0},
};

bool FindSelfDestructSeconds(const CString& label, int* pSeconds)
{
    for (const SelfDestructTime* row = g_selfDestructTimes; row->seconds != 0; ++row) {
        if (label == row->label) {
            if (pSeconds)
                *pSeconds = row->seconds;
            return true;
        }
    }
    return false;
}

const wchar_t* const g_gdipStatusText[22] = {
    L"No error",
    L"Generic Error",
    L"Invalid Parameter",
    L"Out of memory",
    L"Object busy",
    L"Insufficient Buffer",
    L"Not implemented",
    L"Win32 Error",
    L"Wrong State",
    L"Aborted",
    L"File not Found",
    L"Value Overflow",
    L"Access Denied",
    L"Unknown Image Format",
    L"Font Family not supported",
    L"Font Style not found",
    L"No Truetype Font",
    L"Unsupported GDI+ Version",
    L"GDI+ not initalized",
    L"Property not found",
    L"Property not supported",
    L"Profile not found",
};

CString GdipStatusText(int status)
{
    constexpr int count = static_cast<int>(sizeof(g_gdipStatusText) / sizeof(g_gdipStatusText[0]));
    if (status >= 0 && status < count)
        return g_gdipStatusText[status];
    CString text;
    text.Format(L"GDI+ status %d", status);
    return text;
}
