#include "app/OrvoCaptureApp.h"

void COrvoCaptureApp::RunUploadMode(const CString&)
{
    // The upload job arrives with the upload subsystem.
}
