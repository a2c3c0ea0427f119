// What a finished upload hands back: the image's address, and where a POST
// deletes it when the host gave such an address.
#pragma once

#include "framework/CString.h"

struct UploadedImage {
    CString m_strAddress;
    CString m_strDeletionUrl;
    bool IsEmpty() const { return m_strAddress.IsEmpty(); }
};
