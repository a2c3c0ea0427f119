// Owners of the plain kernel and WinINet handles: each closes its handle
// when it goes out of scope, or earlier on request.
#pragma once

#include <windows.h>
#include <wininet.h>

// One WinINet handle, closed when it goes out of scope or on request.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h) : m_h(h) {}
    ~InternetHandle() { Close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    void Close()
    {
        if (m_h) {
            ::InternetCloseHandle(m_h);
            m_h = nullptr;
        }
    }
    operator HINTERNET() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HINTERNET m_h;
};

// A kernel file handle, closed when it goes out of scope or on request.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : m_h(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    void Close()
    {
        if (m_h != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_h);
            m_h = INVALID_HANDLE_VALUE;
        }
    }
    operator HANDLE() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};
