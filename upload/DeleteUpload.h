// Deleting an uploaded image through the deletion address its host handed
// out: one POST without a body. The address itself is the permission; no
// upload key goes with it.
#pragma once

#include "framework/CString.h"
#include "upload/UploadError.h"

struct DeletionResult {
    bool gone = false;     // the host deleted it, or had no such image any more
    UploadError failure; // why not, when not
};

DeletionResult DeleteUploadedImage(const CString& deletionAddress);

// The words for a result, for a message box.
CString DeletionResultText(const DeletionResult& result);
