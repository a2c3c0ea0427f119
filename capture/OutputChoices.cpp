#include "capture/OutputChoices.h"

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
