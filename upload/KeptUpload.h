// A file that could not be uploaded is the user's only copy of the image:
// instead of deleting it, it is moved to where the user keeps images.
#pragma once

#include "framework/CString.h"

// The user's Pictures folder, empty when the shell cannot tell.
CString PicturesFolder();

// Moves the file at path to preferredPath, or, when a file of that name is
// there already, to its numbered variants; when that folder cannot take it
// (or preferredPath is empty), to the same names in fallbackDir. Nothing is
// overwritten. Returns where the file is now: the new path, the old one when
// it could not be moved anywhere, empty when there is no file at path.
CString KeepFile(const CString& path, const CString& preferredPath, const CString& fallbackDir);
