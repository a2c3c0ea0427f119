// Reading the command line: "/U file" uploads a file instead of staying
// resident.
#pragma once

#include "framework/CString.h"

// The tail upper-cased the way the C runtime does it in its default locale.
CString UpperCaseCommandLine(const wchar_t* tail);

bool IsUploadMode(const CString& upperTail);

// The file to upload: the tail from its fourth character on, wherever the
// switch stood. Blanks around it and one pair of surrounding double quotes
// are removed, because Windows quotes paths with spaces when it passes them.
CString UploadPathFromCommandLine(const CString& upperTail);
