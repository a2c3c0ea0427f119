// Opening the target of a link in the About box: through the shell, or with
// the browser command registered for ".htm" files when the shell cannot.
#pragma once

#include <windows.h>

#include <string>

// "APP:" targets (any case, with or without a leading double quote) name
// commands inside the program; none exist, so they open nothing.
bool IsApplicationTarget(const std::wstring& target);

// The registered command line with its "%1" placeholder (quoted or not) cut
// off, followed by a space and the target.
std::wstring FallbackCommandLine(const std::wstring& registeredCommand, const std::wstring& target);

// The command line registered for opening ".htm" files, or empty when any
// step fails. Values longer than kMaxRegisteredBytes are refused.
constexpr DWORD kMaxRegisteredBytes = 260;
std::wstring RegisteredHtmCommand();
// The default value of a key under HKEY_CLASSES_ROOT, read into a buffer of
// kMaxRegisteredBytes: false when the key or a string value is missing or the
// value does not fit.
bool ReadClassesRootDefault(const std::wstring& subkey, std::wstring* value);

// Opens the target; false when nothing could open it.
BOOL OpenLinkTarget(const std::wstring& target);
