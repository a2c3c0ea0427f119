// Where uploads go: the service's address taken apart once, for the options
// dialog's caption, the upload job and the transport alike.
#pragma once

#include <windows.h>

#include "framework/CString.h"

// The service's upload address, a constant of the program.
constexpr const wchar_t* kDefaultUploadUrl = L"http://localhost/upload.php";

struct UploadEndpoint {
    CString m_strScheme = L"http";
    CString m_strHost;
    WORD m_nPort = 80;
    CString m_strPath;  // with its leading "/"

    // Takes url apart into *pOut. Accepts only what the transport can send
    // to: http on port 80 without user name, password, query or fragment.
    // False for anything else, and *pOut is left as it was.
    static bool Parse(const CString& url, UploadEndpoint* pOut);

    // The endpoint in use: the "UploadUrl" setting when it is present and
    // accepted, else the built-in address. Read at the moment of use.
    static UploadEndpoint Current();
};
