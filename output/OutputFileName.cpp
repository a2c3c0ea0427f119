#include "output/OutputFileName.h"

#include "capture/OutputChoices.h"

CString ApplyExtensionRule(const CString& fileName, const CString& extension)
{
    const CString present = fileName.Mid(fileName.ReverseFind(L'.') + 1);
    if (present == extension)
        return fileName;
    return fileName + L"." + extension;
}

CString OutputFilePath(const CString& directory, const CString& fileName, int format)
{
    // The rule looks at the name alone: a dot in a folder name counts for
    // nothing.
    const CString name = ApplyExtensionRule(fileName, FormatExtension(format));
    CString path;
    path.Format(L"%s\\%s", directory.GetString(), name.GetString());
    return path;
}

CString TemporaryOutputPath(const CString& fileName, int format)
{
    // The directory ends with a backslash, so the path holds two in a row;
    // the file system takes them as one.
    wchar_t tempDir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tempDir);
    return OutputFilePath(tempDir, fileName, format);
}
