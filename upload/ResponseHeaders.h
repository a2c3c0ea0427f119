// Values read out of a raw response header block (status line and header
// lines, each ending "\r\n").
#pragma once

#include "framework/CString.h"

// The value of the first header line named name (compared without case, as
// header names are), trimmed; empty when there is none. The status line is
// never a header.
CString ResponseHeaderValue(const CString& headers, const wchar_t* name);

// The "Deletion-Url" header when it is an http or https address; a value of
// any other kind (a script, a file) is not one the program will post to.
CString ExtractDeletionAddress(const CString& headers);
