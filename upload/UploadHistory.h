// The list of recent uploads, kept in a small text file in the user's
// application-data folder. The file only ever gets lines appended (an upload,
// or a later deletion of one); when it grows past a bound it is rewritten
// with the newest records. Lines it cannot read are skipped, and a missing
// or unreadable file reads as an empty list: the history never stops an
// upload.
//
// Format, UTF-8, one line each, fields separated by tabs:
//   U <time> <address> <deletion address> <saved file>
//   D <time> <address>            (the image at address was deleted)
#pragma once

#include <vector>

#include "framework/CString.h"

struct UploadRecord {
    CString time;             // local time, "YYYY-MM-DD hh:mm:ss"
    CString address;          // the image's address
    CString deletionAddress;  // where a POST deletes it; may be empty
    CString savedFile;        // the file the image was saved as; may be empty
    bool deleted = false;
};

// How many records the list shows.
constexpr size_t kRecentUploadsShown = 50;

// %APPDATA%\OrvoCapture\uploads.txt; empty when the folder is unknown.
CString UploadHistoryPath();

// The current local time in the records' format.
CString UploadRecordTime();

// Appends one upload, creating the file and its folder when needed, and
// trims the file when it has grown past its bound. False when the file could
// not be written.
bool AppendUploadRecord(const CString& path, const UploadRecord& record);

// Appends that the image at address is gone. False when the file could not
// be written.
bool AppendUploadDeleted(const CString& path, const CString& address);

// The newest records first, at most max of them.
std::vector<UploadRecord> ReadRecentUploads(const CString& path, size_t max = kRecentUploadsShown);

// Parses the file's contents (exposed for the bound and damage rules).
std::vector<UploadRecord> ParseUploadHistory(const std::string& utf8);
