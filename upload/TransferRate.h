// When the transfer rate of a file is known well enough to promise a time
// left: a first reading taken a few milliseconds in says nothing about the
// next hour.
#pragma once

#include <windows.h>

// Known after the first second, or once 5 % of the file's bytes are sent.
inline bool TransferRateKnown(DWORD elapsedMs, DWORD sent, DWORD size)
{
    return elapsedMs >= 1000 || (size > 0 && static_cast<ULONGLONG>(sent) * 20 >= size);
}
