#include "upload/KeptUpload.h"

#include <shlobj.h>

#include "settings/FileNaming.h"

namespace {

// Enough numbered names for any folder a person keeps by hand.
constexpr int kMaxNumberedNames = 100;

CString FileNamePart(const CString& path) { return path.Mid(path.ReverseFind(L'\\') + 1); }

// Moves path to target or a numbered variant of it. True when moved; false
// when the folder cannot take the file at all.
bool MoveToFreeName(const CString& path, const CString& target, CString* pMovedTo)
{
    for (int number = 1; number <= kMaxNumberedNames; ++number) {
        const CString candidate = number == 1 ? target : NumberedFileName(target, number);
        if (::MoveFileExW(path, candidate, MOVEFILE_COPY_ALLOWED)) {
            *pMovedTo = candidate;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

}  // namespace

CString PicturesFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return CString();
    return folder;
}

CString KeepFile(const CString& path, const CString& preferredPath, const CString& fallbackDir)
{
    if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return CString();
    CString movedTo;
    if (!preferredPath.IsEmpty() && MoveToFreeName(path, preferredPath, &movedTo))
        return movedTo;
    if (!fallbackDir.IsEmpty()) {
        const CString name = FileNamePart(preferredPath.IsEmpty() ? path : preferredPath);
        CString target = fallbackDir;
        if (target.GetAt(target.GetLength() - 1) != L'\\')
            target += L"\\";
        if (MoveToFreeName(path, target + name, &movedTo))
            return movedTo;
    }
    return path;
}
