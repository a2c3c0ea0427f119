// Default names for saved images: a base with an optional sequence number,
// date and time, or ten random letters and digits; then the extension.
#pragma once

#include <ctime>

#include "framework/CString.h"

// Builds a name at the given moment. With the sequence number on, reads
// "Seqnum" and advances it in the settings at once. Random names draw from
// the C runtime's rand, so they share one sequence with everything else on
// the thread that uses it.
CString BuildFileName(const CString& base, const CString& extension, bool randomize, bool appendSeq,
                      bool appendDate, bool appendTime, std::time_t now);
// The same at the current time.
CString BuildFileName(const CString& base, const CString& extension, bool randomize, bool appendSeq,
                      bool appendDate, bool appendTime);

// The name offered for a new capture, from the stored naming settings: one
// that no file in directory has yet, so saving under it replaces nothing.
// Random and numbered names are drawn again until one is free; a name that
// stays the same gets " (2)", " (3)"... before its extension.
CString GetDefaultFileName(const CString& extension, const CString& directory);

// path with " (number)" put before the extension of its last component
// ("D:\Pics\shot (2).jpg"); at the end when that has no extension.
CString NumberedFileName(const CString& path, int number);
