#include "output/OutputPipeline.h"

#include "capture/CaptureSession.h"
#include "capture/MagnifierView.h"
#include "capture/MarkPainter.h"
#include "framework/CWinApp.h"
#include "output/ClipboardOutput.h"
#include "output/GdiplusSession.h"
#include "output/GdipStatus.h"
#include "output/ImageEncoding.h"
#include "output/ImageStages.h"
#include "output/OutputFileName.h"
#include "output/OutputGeometry.h"
#include "output/ScreenImage.h"
#include "settings/Settings.h"
#include "ui/TextProgressCtrl.h"
#include "upload/KeptUpload.h"
#include "upload/UploadJob.h"

namespace {

void StoreSettings(const OutputRequest& request)
{
    Settings::WriteInt(Setting::Clipboard, request.copyToClipboard ? 1 : 0);
    Settings::WriteInt(Setting::Save, request.saveToFile ? 1 : 0);
    Settings::WriteInt(Setting::Upload, request.upload ? 1 : 0);
    Settings::WriteInt(Setting::DPIScale, request.scaleToStandardDpi ? 1 : 0);
    Settings::WriteInt(Setting::Format, request.format);
    Settings::WriteInt(Setting::Area, request.areaMode);
    Settings::WriteString(Setting::SelfDestructTime, request.selfDestructLabel);
}

void ReportSaveFailure(const CString& reason)
{
    AfxMessageBox(L"Could not save Image: " + reason, MB_ICONERROR);
}

// Burns the highlight and the marks into the screen image and cuts the area out of it:
// an empty area means the primary monitor.
bool CutArea(CaptureSession& session, const CRect& requested, CBitmap& cropped)
{
    const CRect area = EffectiveArea(requested, session.m_screen.primary);
    BITMAP info{};
    if (!session.m_bmpScreen.GetSafeHandle() || !session.m_bmpScreen.GetBitmap(&info))
        info = BITMAP{};
    CSelection select(session.m_dcScreen, session.m_bmpScreen);
    if (!session.m_rcHighlight.IsRectEmpty())
        DrawHighlightOutline(session.m_dcScreen, session.m_rcHighlight);
    // The marks, drawn by the capture window's own drawing: what leaves is
    // what was shown. Those outside the area go with the crop.
    DrawMarks(session.m_dcScreen, session.m_marks.list.Marks());
    return CropScreenImage(session.m_dcScreen, CSize(info.bmWidth, info.bmHeight), area, cropped);
}

int ScreenDpi()
{
    CClientDC screen(nullptr);
    return ::GetDeviceCaps(screen, LOGPIXELSX);
}

// From the cropped bitmap to the image every destination receives. Reports
// why when there is none.
bool MakeFinalImage(CBitmap& cropped, const OutputRequest& request, GdipBitmapPtr& image)
{
    Gdiplus::Status status = ImageFromBitmap(cropped, image);
    cropped.DeleteObject();
    if (status != Gdiplus::Ok) {
        ReportSaveFailure(GdipStatusText(status));
        return false;
    }
    if (request.scaleToStandardDpi) {
        status = ScaleToStandardDpi(image, ScreenDpi());
        if (status != Gdiplus::Ok) {
            ReportSaveFailure(GdipStatusText(status));
            return false;
        }
    }
    if (request.format == FormatGif && !ReduceToPalette(image)) {
        ReportSaveFailure(L"Colour reduction failed");
        return false;
    }
    return true;
}

// Sends the image through a temporary file. Unless the image was saved in
// the output directory already (savedPath), a failed upload keeps that file
// there (or in Pictures). A failure is told in one message that also says
// where the image is. Returns the upload, empty when none came back.
UploadedImage UploadImage(const OutputRequest& request, Gdiplus::GpBitmap* image, CTextProgressCtrl& progress,
                          const CString& savedPath)
{
    const CString tempPath = TemporaryOutputPath(request.fileName, request.format);
    // An older file of that name must not go up in this image's place. A
    // failed save shows as the upload's own failure: the file is missing.
    ::DeleteFileW(tempPath);
    SaveImage(image, tempPath, FindOutputFormat(request.format));

    int seconds = 0;
    const bool withSeconds = request.selfDestruct && FindSelfDestructSeconds(request.selfDestructLabel, &seconds);

    TemporaryFileUploadSteps steps(progress, tempPath);
    if (savedPath.IsEmpty()) {
        const CString preferred = request.outputDir.IsEmpty()
                                      ? CString()
                                      : OutputFilePath(request.outputDir, request.fileName, request.format);
        steps.KeepOnFailure(preferred, PicturesFolder());
    }
    const UploadOutcome outcome = RunUploadJob(progress, tempPath, withSeconds ? &seconds : nullptr, &steps);
    if (outcome.Succeeded()) {
        RecordUpload(outcome.m_image, savedPath);
        return outcome.m_image;
    }
    const CString text =
        UploadErrorText(outcome.m_error, true, savedPath.IsEmpty() ? steps.KeptPath() : savedPath);
    if (!text.IsEmpty())
        AfxMessageBox(text, MB_ICONERROR);
    return UploadedImage();
}

}  // namespace

UploadedImage RunOutputPipeline(CaptureSession& session, const OutputRequest& request, HWND clipboardOwner,
                          CTextProgressCtrl& progress)
{
    StoreSettings(request);
    CWaitCursor wait;

    CBitmap cropped;
    if (!CutArea(session, request.area, cropped)) {
        ReportSaveFailure(GdipStatusText(Gdiplus::OutOfMemory));
        return UploadedImage();
    }

    // Declared before any image so that every image is gone when it ends.
    GdiplusSession gdiplus;
    if (!gdiplus.IsRunning()) {
        ReportSaveFailure(GdipStatusText(gdiplus.Status()));
        return UploadedImage();
    }
    GdipBitmapPtr image;
    if (!MakeFinalImage(cropped, request, image))
        return UploadedImage();

    if (request.copyToClipboard)
        CopyImageToClipboard(image.get(), clipboardOwner);

    CString savedPath;
    if (request.saveToFile) {
        const CString path = OutputFilePath(request.outputDir, request.fileName, request.format);
        const CString failure = SaveImage(image.get(), path, FindOutputFormat(request.format));
        if (failure.IsEmpty())
            savedPath = path;
        else
            ReportSaveFailure(failure);
    }

    if (!request.upload)
        return UploadedImage();
    return UploadImage(request, image.get(), progress, savedPath);
}
