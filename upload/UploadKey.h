// The upload key: a secret the image host may ask for, sent as
// "Authorization: Bearer <key>". It never travels in the clear beyond this
// computer, and never appears in a log, a message or the history.
#pragma once

#include "framework/CString.h"

// True for the names of this computer itself: localhost, 127.0.0.1, ::1.
bool IsThisComputer(const CString& host);

// Whether a key may be sent to host over this scheme: always over https,
// over plain http only to this computer.
bool MayCarryUploadKey(bool https, const CString& host);

// The request header line for a key, without a line end; empty for an empty
// key or one that would break the header (line ends, control characters).
CString AuthorizationHeader(const CString& key);
