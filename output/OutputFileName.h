// Where an output image is written: the user's file name with the format's
// extension made sure of, in the output directory or the temporary one.
#pragma once

#include "framework/CString.h"

// fileName with "." and extension appended, unless the text after its last
// "." (the whole name when it has none) already equals extension exactly.
CString ApplyExtensionRule(const CString& fileName, const CString& extension);

// directory and fileName joined by a backslash, with the extension of format.
CString OutputFilePath(const CString& directory, const CString& fileName, int format);

// The same name in the temporary directory, for a copy that is uploaded.
CString TemporaryOutputPath(const CString& fileName, int format);
