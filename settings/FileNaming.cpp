#include "settings/FileNaming.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "settings/Settings.h"

namespace {

// More names than anyone keeps in one folder by hand.
constexpr int kMaxAttempts = 10000;

wchar_t RandomNameCharacter()
{
    const int r = std::rand() % 62;
    if (r < 26)
        return static_cast<wchar_t>(L'a' + r);
    if (r < 52)
        return static_cast<wchar_t>(L'A' + (r - 26));
    return static_cast<wchar_t>(L'0' + (r - 52));
}

bool IsTaken(const CString& directory, const CString& name)
{
    return ::GetFileAttributesW(directory + L"\\" + name) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CString BuildFileName(const CString& base, const CString& extension, bool randomize, bool appendSeq,
                      bool appendDate, bool appendTime, std::time_t now)
{
    CString name;
    if (randomize) {
        for (int i = 0; i < 10; ++i)
            name += RandomNameCharacter();
        name.AppendFormat(L".%s", extension.GetString());
        return name;
    }

    name = base;
    if (appendSeq) {
        const int seq = Settings::ReadInt(Setting::Seqnum);
        Settings::WriteInt(Setting::Seqnum, seq + 1);  // the number is used up now
        name.AppendFormat(L"%03d", seq);
    }

    std::tm local{};
    if (const std::tm* t = std::localtime(&now))
        local = *t;
    wchar_t date[32] = {}, time[32] = {};
    std::wcsftime(date, 32, L"%Y%m%d", &local);
    std::wcsftime(time, 32, L"%H%M%S", &local);
    if (appendDate)
        name.AppendFormat(L"-%s", date);
    if (appendTime)
        name.AppendFormat(L"-%s", time);
    name.AppendFormat(L".%s", extension.GetString());
    return name;
}

CString BuildFileName(const CString& base, const CString& extension, bool randomize, bool appendSeq,
                      bool appendDate, bool appendTime)
{
    return BuildFileName(base, extension, randomize, appendSeq, appendDate, appendTime, std::time(nullptr));
}

CString GetDefaultFileName(const CString& extension, const CString& directory)
{
    const bool appendTime = Settings::IsOn(Setting::AppendTime);
    const bool appendDate = Settings::IsOn(Setting::AppendDate);
    const bool appendSeq = Settings::IsOn(Setting::AppendSeq);
    const bool randomize = Settings::IsOn(Setting::Randomize);
    const CString base = Settings::ReadString(Setting::Filename);
    const std::time_t now = std::time(nullptr);

    // The random sequence starts afresh with every run and the sequence
    // number may have been reset: either can meet an earlier capture's file.
    CString name = BuildFileName(base, extension, randomize, appendSeq, appendDate, appendTime, now);
    if (directory.IsEmpty() || !IsTaken(directory, name))
        return name;
    if (randomize || appendSeq) {
        for (int attempt = 1; attempt < kMaxAttempts; ++attempt) {
            name = BuildFileName(base, extension, randomize, appendSeq, appendDate, appendTime, now);
            if (!IsTaken(directory, name))
                return name;
        }
        return name;
    }
    // The same name every time: number it like a copy.
    for (int number = 2; number < kMaxAttempts; ++number) {
        const CString numbered = NumberedFileName(name, number);
        if (!IsTaken(directory, numbered))
            return numbered;
    }
    return name;
}

CString NumberedFileName(const CString& path, int number)
{
    const int nameStart = path.ReverseFind(L'\\') + 1;
    const int dot = path.ReverseFind(L'.');
    CString suffix;
    suffix.Format(L" (%d)", number);
    if (dot < nameStart)
        return path + suffix;
    return path.Left(dot) + suffix + path.Mid(dot);
}
