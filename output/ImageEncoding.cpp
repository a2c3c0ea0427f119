#include "output/ImageEncoding.h"

#include <cwchar>
#include <vector>

#include "output/GdipStatus.h"
#include "output/OutputPipeline.h"

namespace {

// EncoderQuality {1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}
constexpr GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

bool FileExists(const CString& path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

JpegQualityParameters::JpegQualityParameters(ULONG quality) : m_block{}, m_quality(quality)
{
    m_block.Count = 1;
    m_block.Parameter[0].Guid = kEncoderQuality;
    m_block.Parameter[0].NumberOfValues = 1;
    m_block.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    m_block.Parameter[0].Value = &m_quality;
}

int GetEncoderClsid(const wchar_t* mimeType, CLSID* pClsid)
{
    UINT count = 0, bytes = 0;
    if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0 || count == 0)
        return -1;
    // ImageCodecInfo records followed by the strings they point to.
    std::vector<Gdiplus::ImageCodecInfo> buffer((bytes + sizeof(Gdiplus::ImageCodecInfo) - 1) /
                                                sizeof(Gdiplus::ImageCodecInfo));
    Gdiplus::ImageCodecInfo* codecs = buffer.data();
    if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok)
        return -1;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, mimeType) == 0) {
            *pClsid = codecs[i].Clsid;
            return static_cast<int>(i);
        }
    }
    return -1;
}

CString SaveImage(Gdiplus::GpImage* image, const CString& path, const OutputFormatInfo* format)
{
    if (!format)
        return GdipStatusText(Gdiplus::UnknownImageFormat);
    CLSID encoder{};
    if (GetEncoderClsid(format->mimeType, &encoder) < 0)
        return CString(L"No encoder for ") + format->mimeType;

    const bool existed = FileExists(path);
    Gdiplus::Status status;
    if (format->jpegQuality != 0) {
        JpegQualityParameters quality(format->jpegQuality);
        status = Gdiplus::DllExports::GdipSaveImageToFile(image, path, &encoder, &quality.m_block);
    } else {
        status = Gdiplus::DllExports::GdipSaveImageToFile(image, path, &encoder, nullptr);
    }
    if (status == Gdiplus::Ok)
        return CString();
    // Half an image is worse than none; a file that was there before is not
    // ours to remove.
    if (!existed && FileExists(path))
        ::DeleteFileW(path);
    return GdipStatusText(status);
}
