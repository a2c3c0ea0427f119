#include "output/OutputPipeline.h"

#include "capture/CaptureSession.h"
#include "capture/MagnifierView.h"
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

// Burns the highlight into the screen image and cuts the area out of it:
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
// the output directory already, a failed upload keeps that file there (or in
// Pictures) and says where. Returns the image's address, empty when none
// came back.
CString UploadImage(const OutputRequest& request, Gdiplus::GpBitmap* image, CTextProgressCtrl& progress,
                    bool savedToOutputDir)
{
    const CString tempPath = TemporaryOutputPath(request.fileName, request.format);
    // An older file of that name must not go up in this image's place. A
    // failed save shows as the upload's own failure: the file is missing.
    ::DeleteFileW(tempPath);
    SaveImage(image, tempPath, FindOutputFormat(request.format));

    int seconds = 0;
    const bool withSeconds = request.selfDestruct && FindSelfDestructSeconds(request.selfDestructLabel, &seconds);

    TemporaryFileUploadSteps steps(progress, tempPath);
    if (!savedToOutputDir) {
        const CString preferred = request.outputDir.IsEmpty()
                                      ? CString()
                                      : OutputFilePath(request.outputDir, request.fileName, request.format);
        steps.KeepOnFailure(preferred, PicturesFolder());
    }
    const CString address = RunUploadJob(progress, tempPath, withSeconds ? &seconds : nullptr, &steps);
    if (!steps.KeptPath().IsEmpty())
        AfxMessageBox(L"Could not upload the image. It was kept as " + steps.KeptPath(), MB_ICONERROR);
    return address;
}

}  // namespace

CString RunOutputPipeline(CaptureSession& session, const OutputRequest& request, HWND clipboardOwner,
                          CTextProgressCtrl& progress)
{
    StoreSettings(request);
    CWaitCursor wait;

    CBitmap cropped;
    if (!CutArea(session, request.area, cropped)) {
        ReportSaveFailure(GdipStatusText(Gdiplus::OutOfMemory));
        return CString();
    }

    // Declared before any image so that every image is gone when it ends.
    GdiplusSession gdiplus;
    if (!gdiplus.IsRunning()) {
        ReportSaveFailure(GdipStatusText(gdiplus.Status()));
        return CString();
    }
    GdipBitmapPtr image;
    if (!MakeFinalImage(cropped, request, image))
        return CString();

    if (request.copyToClipboard)
        CopyImageToClipboard(image.get(), clipboardOwner);

    bool saved = false;
    if (request.saveToFile) {
        const CString path = OutputFilePath(request.outputDir, request.fileName, request.format);
        const CString failure = SaveImage(image.get(), path, FindOutputFormat(request.format));
        saved = failure.IsEmpty();
        if (!saved)
            ReportSaveFailure(failure);
    }

    if (!request.upload)
        return CString();
    return UploadImage(request, image.get(), progress, saved);
}
