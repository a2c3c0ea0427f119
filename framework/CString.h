// UTF-16 string with the handful of operations the program uses. Formatting
// follows the Windows convention: in a wide format "%s" takes a wide string
// and "%hs" a narrow one.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const wchar_t* psz) : m_str(psz ? psz : L"") {}
    CString(const wchar_t* pch, int nLength) : m_str(pch, static_cast<size_t>(nLength)) {}
    CString(std::wstring str) : m_str(std::move(str)) {}

    operator const wchar_t*() const { return m_str.c_str(); }
    const wchar_t* GetString() const { return m_str.c_str(); }
    const std::wstring& Str() const { return m_str; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    wchar_t GetAt(int i) const { return m_str[static_cast<size_t>(i)]; }

    void Format(const wchar_t* format, ...);
    // A format that cannot be produced (a bad conversion, a result past
    // INT_MAX characters) leaves the string empty.
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);

    // Index of the first match at or after nStart, or -1.
    int Find(const wchar_t* sub, int nStart = 0) const;
    int Find(wchar_t ch, int nStart = 0) const;
    int ReverseFind(wchar_t ch) const;

    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    // Removes up to nCount characters from nIndex; returns the new length.
    int Delete(int nIndex, int nCount = 1);

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    // Upper-cases a to z only, like the C runtime in its default locale.
    CString& MakeUpper();

    int Compare(const wchar_t* psz) const { return m_str.compare(psz ? psz : L""); }
    int CompareNoCase(const wchar_t* psz) const;

    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(const wchar_t* psz) { m_str += (psz ? psz : L""); return *this; }
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }
    friend CString operator+(CString a, const CString& b) { a += b; return a; }
    friend CString operator+(CString a, const wchar_t* b) { a += b; return a; }
    friend CString operator+(const wchar_t* a, const CString& b) { return CString(a) += b; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }

private:
    std::wstring m_str;
};

// Converts to a multibyte code page (the thread's ANSI code page unless told
// otherwise) with the system's default replacement rules; a conversion that
// fails gives an empty string.
std::string ToAnsi(const wchar_t* psz, UINT codePage = CP_THREAD_ACP);
inline std::string ToAnsi(const CString& s, UINT codePage = CP_THREAD_ACP)
{
    return ToAnsi(s.GetString(), codePage);
}
// The reverse, for text that arrives from the network or the console.
CString FromAnsi(const char* psz, int nLength = -1, UINT codePage = CP_THREAD_ACP);
