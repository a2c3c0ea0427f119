#include "ui/LinkTarget.h"

#include "framework/RegKey.h"

#include <shellapi.h>

#include <vector>

namespace {

bool StartsWithNoCase(const std::wstring& text, size_t at, const wchar_t* prefix)
{
    for (; *prefix; ++prefix, ++at) {
        if (at >= text.size())
            return false;
        wchar_t c = text[at];
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c != *prefix)
            return false;
    }
    return true;
}

}  // namespace

bool IsApplicationTarget(const std::wstring& target)
{
    return StartsWithNoCase(target, 0, L"APP:") || (!target.empty() && target[0] == L'"' && StartsWithNoCase(target, 1, L"APP:"));
}

std::wstring FallbackCommandLine(const std::wstring& registeredCommand, const std::wstring& target)
{
    size_t cut = registeredCommand.find(L"\"%1\"");
    if (cut == std::wstring::npos)
        cut = registeredCommand.find(L"%1");
    std::wstring command = cut == std::wstring::npos ? registeredCommand : registeredCommand.substr(0, cut);
    return command + L" " + target;
}

bool ReadClassesRootDefault(const std::wstring& subkey, std::wstring* value)
{
    RegKey key(HKEY_CLASSES_ROOT, subkey.c_str());
    if (!key)
        return false;
    // One spare character past the buffer, so a value stored without its
    // terminating zero still ends inside it.
    std::vector<wchar_t> buffer(kMaxRegisteredBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = REG_NONE;
    DWORD bytes = kMaxRegisteredBytes;
    if (::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) !=
        ERROR_SUCCESS)
        return false;  // ERROR_MORE_DATA included: a longer value is refused
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    value->assign(buffer.data(), bytes / sizeof(wchar_t));
    const size_t zero = value->find(L'\0');
    if (zero != std::wstring::npos)
        value->resize(zero);
    return true;
}

std::wstring RegisteredHtmCommand()
{
    std::wstring fileClass, command;
    if (!ReadClassesRootDefault(L".htm", &fileClass) || fileClass.empty())
        return L"";
    if (!ReadClassesRootDefault(fileClass + L"\\shell\\open\\command", &command))
        return L"";
    return command;
}

BOOL OpenLinkTarget(const std::wstring& target)
{
    if (IsApplicationTarget(target))
        return FALSE;
    const HINSTANCE opened = ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(opened) > 32)
        return TRUE;

    const std::wstring registered = RegisteredHtmCommand();
    if (registered.empty())
        return FALSE;
    std::wstring commandLine = FallbackCommandLine(registered, target);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return FALSE;
    // Nothing waits for the browser.
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return TRUE;
}
