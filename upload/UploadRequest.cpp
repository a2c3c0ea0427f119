#include "upload/UploadRequest.h"

#include <cstdlib>

void UploadRequest::AddFile(const CString& name, const CString& path, const CString& contentType)
{
    m_files.push_back(UploadFileField{name, path, contentType});
}

void UploadRequest::AddSelfDestructTimeout(const CString& value)
{
    m_fields.push_back(UploadFormField{kSelfDestructField, value});
}

CString MakeBoundary()
{
    // Drawn one by one: the order of the three numbers is part of the format.
    const int first = std::rand();
    const int second = std::rand();
    const int third = std::rand();
    CString boundary;
    boundary.Format(L"---------------------------%04X%04X%04X", first, second, third);
    return boundary;
}

CString ContentTypeHeader(const CString& boundary)
{
    CString header;
    header.Format(L"Content-Type: multipart/form-data; boundary=%s", boundary.GetString());
    return header;
}

std::string FormFieldHeader(const CString& boundary, const CString& name)
{
    return "--" + ToAnsi(boundary) + "\r\n" + "Content-Disposition: form-data; name=\"" + ToAnsi(name) +
           "\"\r\n" + "\r\n";
}

std::string FileFieldHeader(const CString& boundary, const CString& name, const CString& path,
                            const CString& contentType)
{
    return "--" + ToAnsi(boundary) + "\r\n" + "Content-Disposition: form-data; name=\"" + ToAnsi(name) +
           "\"; filename=\"" + ToAnsi(path) + "\"\r\n" + "Content-Type: " + ToAnsi(contentType) + "\r\n" +
           "\r\n";
}

std::string PartTrailer() { return "\r\n"; }

std::string ClosingDelimiter(const CString& boundary) { return "--" + ToAnsi(boundary) + "--\r\n"; }

namespace {

ULONGLONG FormFieldSize64(const CString& boundary, const CString& name, const CString& value)
{
    return FormFieldHeader(boundary, name).size() + ToAnsi(value).size() + PartTrailer().size();
}

ULONGLONG FileFieldSize64(const CString& boundary, const CString& name, const CString& path,
                          const CString& contentType, ULONGLONG fileSize)
{
    return FileFieldHeader(boundary, name, path, contentType).size() + fileSize + PartTrailer().size();
}

}  // namespace

ULONGLONG QueryFileSize(const CString& path)
{
    const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size))
        size.QuadPart = 0;
    ::CloseHandle(file);
    return static_cast<ULONGLONG>(size.QuadPart);
}

DWORD FormFieldSize(const CString& boundary, const CString& name, const CString& value)
{
    return static_cast<DWORD>(FormFieldSize64(boundary, name, value));
}

DWORD FileFieldSize(const CString& boundary, const CString& name, const CString& path,
                    const CString& contentType, DWORD& totalFileBytes)
{
    const ULONGLONG fileSize = QueryFileSize(path);
    totalFileBytes += static_cast<DWORD>(fileSize);
    return static_cast<DWORD>(FileFieldSize64(boundary, name, path, contentType, fileSize));
}

ULONGLONG BodyLength64(const UploadRequest& request, const CString& boundary,
                       std::vector<ULONGLONG>* pFileSizes)
{
    ULONGLONG length = 0;
    for (const UploadFormField& field : request.m_fields)
        length += FormFieldSize64(boundary, field.m_strName, field.m_strValue);
    if (pFileSizes)
        pFileSizes->clear();
    for (const UploadFileField& file : request.m_files) {
        const ULONGLONG fileSize = QueryFileSize(file.m_strPath);
        if (pFileSizes)
            pFileSizes->push_back(fileSize);
        length += FileFieldSize64(boundary, file.m_strName, file.m_strPath, file.m_strContentType, fileSize);
    }
    return length + ClosingDelimiter(boundary).size();
}

DWORD ContentLength(const UploadRequest& request, const CString& boundary, DWORD& totalFileBytes)
{
    totalFileBytes = 0;
    DWORD length = 0;
    for (const UploadFormField& field : request.m_fields)
        length += FormFieldSize(boundary, field.m_strName, field.m_strValue);
    for (const UploadFileField& file : request.m_files)
        length += FileFieldSize(boundary, file.m_strName, file.m_strPath, file.m_strContentType, totalFileBytes);
    return length + static_cast<DWORD>(ClosingDelimiter(boundary).size());
}
