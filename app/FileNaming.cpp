#include "app/FileNaming.h"

#include <cstdlib>
#include <cwchar>

#include "framework/CWinApp.h"

namespace {

wchar_t RandomNameCharacter()
{
    const int r = std::rand() % 62;
    if (r < 26)
        return static_cast<wchar_t>(L'a' + r);
    if (r < 52)
        return static_cast<wchar_t>(L'A' + (r - 26));
    return static_cast<wchar_t>(L'0' + (r - 52));
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
        CWinApp* app = AfxGetApp();
        const int seq = static_cast<int>(app->GetProfileInt(L"", L"Seqnum", 1));
        app->WriteProfileInt(L"", L"Seqnum", seq + 1);  // the number is used up now
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

CString GetDefaultFileName(const CString& extension)
{
    CWinApp* app = AfxGetApp();
    // A flag is on only when it is exactly 1.
    const bool appendTime = app->GetProfileInt(L"", L"AppendTime", 0) == 1;
    const bool appendDate = app->GetProfileInt(L"", L"AppendDate", 0) == 1;
    const bool appendSeq = app->GetProfileInt(L"", L"AppendSeq", 1) == 1;
    const bool randomize = app->GetProfileInt(L"", L"Randomize", 1) == 1;
    const CString base = app->GetProfileString(L"", L"Filename");
    return BuildFileName(base, extension, randomize, appendSeq, appendDate, appendTime);
}
