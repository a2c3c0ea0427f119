#include "framework/CString.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>

void CString::FormatV(const wchar_t* format, va_list args)
{
    // The runtime's _vsnwprintf keeps the Windows meaning of %s (wide) even
    // where mingw's ISO printf family would read it as narrow. Its length
    // count tells a result that does not fit from one that cannot be made
    // (a bad conversion, a width past INT_MAX): that gives an empty string
    // rather than an ever larger buffer.
    va_list counting;
    va_copy(counting, args);
    const int needed = _vscwprintf(format, counting);
    va_end(counting);
    if (needed < 0) {
        m_str.clear();
        return;
    }
    std::wstring buffer(static_cast<size_t>(needed) + 1, L'\0');
    va_list copy;
    va_copy(copy, args);
    const int n = _vsnwprintf(&buffer[0], buffer.size(), format, copy);
    va_end(copy);
    buffer.resize(n >= 0 && n <= needed ? static_cast<size_t>(n) : 0);
    m_str = std::move(buffer);
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_str += tail.m_str;
}

static int ToIndex(size_t pos) { return pos == std::wstring::npos ? -1 : static_cast<int>(pos); }

int CString::Find(const wchar_t* sub, int nStart) const
{
    if (nStart < 0 || nStart > GetLength())
        return -1;
    return ToIndex(m_str.find(sub ? sub : L"", static_cast<size_t>(nStart)));
}

int CString::Find(wchar_t ch, int nStart) const
{
    if (nStart < 0 || nStart > GetLength())
        return -1;
    return ToIndex(m_str.find(ch, static_cast<size_t>(nStart)));
}

int CString::ReverseFind(wchar_t ch) const { return ToIndex(m_str.rfind(ch)); }

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const
{
    // Out-of-range arguments are clamped, never an error.
    if (nFirst < 0)
        nFirst = 0;
    if (nCount < 0)
        nCount = 0;
    if (nFirst >= GetLength())
        return CString();
    const int available = GetLength() - nFirst;
    return CString(m_str.substr(static_cast<size_t>(nFirst),
                                static_cast<size_t>(nCount < available ? nCount : available)));
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const
{
    if (nCount > GetLength())
        nCount = GetLength();
    return Mid(GetLength() - (nCount < 0 ? 0 : nCount));
}

int CString::Delete(int nIndex, int nCount)
{
    if (nIndex < 0)
        nIndex = 0;
    if (nIndex < GetLength() && nCount > 0)
        m_str.erase(static_cast<size_t>(nIndex), static_cast<size_t>(nCount));
    return GetLength();
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && std::iswspace(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && std::iswspace(m_str[n - 1]))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::MakeUpper()
{
    for (wchar_t& ch : m_str)
        if (ch >= L'a' && ch <= L'z')
            ch = static_cast<wchar_t>(ch - L'a' + L'A');
    return *this;
}

int CString::CompareNoCase(const wchar_t* psz) const
{
    return lstrcmpiW(m_str.c_str(), psz ? psz : L"");
}

std::string ToAnsi(const wchar_t* psz, UINT codePage)
{
    if (!psz || !*psz)
        return std::string();
    const int n = WideCharToMultiByte(codePage, 0, psz, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(codePage, 0, psz, -1, &out[0], n, nullptr, nullptr) != n)
        return std::string();
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

CString FromAnsi(const char* psz, int nLength, UINT codePage)
{
    if (!psz || nLength == 0)
        return CString();
    const int n = MultiByteToWideChar(codePage, 0, psz, nLength, nullptr, 0);
    if (n <= 0)
        return CString();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, psz, nLength, &out[0], n);
    if (nLength < 0)
        out.resize(static_cast<size_t>(n - 1));
    return CString(std::move(out));
}
