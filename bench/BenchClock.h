// Clocks and the machine's load for the benchmarks that run under Wine.
#pragma once

#include <windows.h>

#include <cstdio>

inline double WallSeconds()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// This thread's processor time: steadier than the wall clock on a machine
// other work shares.
inline double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

// The machine's load, read through Wine's view of the Linux file system.
inline void PrintLoad()
{
    if (FILE* f = std::fopen("Z:\\proc\\loadavg", "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof(line), f))
            std::printf("load average: %s", line);
        std::fclose(f);
    }
}
