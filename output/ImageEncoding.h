// Writing the current image to a file with the encoder of the chosen format.
#pragma once

#include <windows.h>
// The GDI+ headers need what the lean Windows headers leave out.
#include <objidl.h>
#include <gdiplus.h>

#include "framework/CString.h"
#include "capture/OutputChoices.h"

// The quality block the JPEG encoder is given: one EncoderQuality value.
struct JpegQualityParameters {
    explicit JpegQualityParameters(ULONG quality);
    JpegQualityParameters(const JpegQualityParameters&) = delete;
    JpegQualityParameters& operator=(const JpegQualityParameters&) = delete;
    Gdiplus::EncoderParameters m_block;
    ULONG m_quality;
};

// Encodes image into path with format's encoder (and, for JPEG, its
// quality). Returns an empty text when the file was written; otherwise why
// not, ready to follow "Could not save Image: ". No format (null) is status
// 13; a format GDI+ has no encoder for is said so by name, and nothing is
// handed to the encoder then. A save that fails leaves no file behind that it
// created itself. GDI+ must be running.
CString SaveImage(Gdiplus::GpImage* image, const CString& path, const OutputFormatInfo* format);
