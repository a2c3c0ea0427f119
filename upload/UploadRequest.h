// One upload described: the endpoint, the form fields and the files, and the
// multipart/form-data body they make, piece by piece. The body is never put
// together in memory: each part header is built when it is written, file
// contents are streamed by the transport, and the length announced up front
// is computed from the pieces and the file sizes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/CString.h"
#include "upload/UploadEndpoint.h"

struct UploadFormField {
    CString m_strName;
    CString m_strValue;
};

struct UploadFileField {
    CString m_strName;
    CString m_strPath;          // sent as given, also as the part's file name
    CString m_strContentType;
};

class UploadRequest {
public:
    void AddFile(const CString& name, const CString& path, const CString& contentType);
    void AddSelfDestructTimeout(const CString& value);

    UploadEndpoint m_endpoint;             // where the request goes
    std::vector<UploadFileField> m_files;   // sent after all form fields
    std::vector<UploadFormField> m_fields;  // sent first
    // Bytes per second: gives the first time-left figures of a file; the
    // transport stores the last measured rate here.
    DWORD m_nBytesPerSecond = 5600;
};

// The name and value of the optional form field that asks the service to
// delete the image after that many seconds.
constexpr const wchar_t* kSelfDestructField = L"selfdestruct_timeout";

// Every text on the wire is in the thread's ANSI code page; the byte strings
// below are in it already.

// 27 hyphens and three draws of the runtime's rand as "%04X%04X%04X".
CString MakeBoundary();
// "Content-Type: multipart/form-data; boundary=..." without a line end.
CString ContentTypeHeader(const CString& boundary);
std::string FormFieldHeader(const CString& boundary, const CString& name);
std::string FileFieldHeader(const CString& boundary, const CString& name, const CString& path,
                            const CString& contentType);
std::string PartTrailer();
std::string ClosingDelimiter(const CString& boundary);

DWORD FormFieldSize(const CString& boundary, const CString& name, const CString& value);
// Adds the file's size to totalFileBytes. A file that cannot be opened counts
// as empty; sending it fails anyway.
DWORD FileFieldSize(const CString& boundary, const CString& name, const CString& path,
                    const CString& contentType, DWORD& totalFileBytes);
// Sets totalFileBytes to the sum of all file sizes. Only meaningful when
// BodyFitsLength says the body fits 32 bits.
DWORD ContentLength(const UploadRequest& request, const CString& boundary, DWORD& totalFileBytes);

// The size of a file in bytes, 64 bits wide; 0 if it cannot be opened.
ULONGLONG QueryFileSize(const CString& path);
// The whole body length without truncation, with each file's size in list
// order. The transport announces it only when it fits 32 bits.
ULONGLONG BodyLength64(const UploadRequest& request, const CString& boundary,
                       std::vector<ULONGLONG>* pFileSizes = nullptr);
// True when the body's length fits the 32-bit length that is announced (and
// so every file is below 4 GiB).
inline bool BodyFitsLength(ULONGLONG bodyLength) { return bodyLength <= 0xFFFFFFFFull; }
