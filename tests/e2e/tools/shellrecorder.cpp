// Stands in for the program the shell starts to open a link: registered in
// the test prefix as the handler of a scheme, it records what it was handed.
//   shellrecorder OUTFILE ARG...   appends each ARG as one UTF-8 line to OUTFILE
#include <windows.h>

#include <cstdio>

#include "framework/CString.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    FILE* out = _wfopen(argv[1], L"ab");
    if (!out)
        return 1;
    for (int i = 2; i < argc; ++i) {
        const std::string line = ToAnsi(CString(argv[i]) + L"\n", CP_UTF8);
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fclose(out);
    return 0;
}
