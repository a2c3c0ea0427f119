// Pieces several suites share: a host window for controls and files in the
// temporary directory.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

#include "framework/CString.h"
#include "framework/CWnd.h"

// Readable failure output for the program's strings.
inline void PrintTo(const CString& s, std::ostream* os) { *os << '"' << ToAnsi(s, CP_UTF8) << '"'; }

// One visible window hosts the controls of every test: taking a shown
// top-level window off an X display without a window manager costs Wine
// seconds, so it stays until the process ends.
inline CWnd& HostWindow()
{
    static CWnd* host = [] {
        auto* wnd = new CWnd;
        wnd->CreateEx(0, AfxRegisterWndClass(0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)),
                      L"test host", WS_POPUP | WS_VISIBLE, 0, 0, 640, 200, nullptr, nullptr);
        return wnd;
    }();
    return *host;
}

inline bool FileExists(const CString& path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The whole contents of a file; empty when it cannot be read.
inline std::string ReadFileBytes(const CString& path)
{
    std::string bytes;
    const HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(h, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    ::CloseHandle(h);
    return bytes;
}

inline CString TempDirPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return CString(dir) + name;
}

// A file in the temporary directory that is removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& contents, const wchar_t* name = L"orvo-test.bin") : m_path(TempDirPath(name))
    {
        const HANDLE h = ::CreateFileW(m_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (!contents.empty())
            ::WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
        ::CloseHandle(h);
    }
    // A sparse file of the given size: nothing is written.
    TempFile(ULONGLONG size, const wchar_t* name) : m_path(TempDirPath(name))
    {
        const HANDLE h = ::CreateFileW(m_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER pos{};
        pos.QuadPart = static_cast<LONGLONG>(size);
        ::SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
        ::SetEndOfFile(h);
        ::CloseHandle(h);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { ::DeleteFileW(m_path); }
    const CString& Path() const { return m_path; }

private:
    CString m_path;
};
