#include "output/OutputPipeline.h"

#include "app/OrvoCaptureApp.h"
#include "output/ClipboardOutput.h"
#include "output/GdiplusSession.h"
#include "output/ImageEncoding.h"
#include "output/ImageStages.h"
#include "output/OutputFileName.h"
#include "output/OutputGeometry.h"
#include "capture/MagnifierView.h"
#include "output/ScreenImage.h"
#include "ui/TextProgressCtrl.h"
#include "upload/KeptUpload.h"
#include "upload/UploadJob.h"

namespace {

// The wait cursor for one scope.
class WaitCursor {
public:
    explicit WaitCursor(CWinApp& app) : m_app(app) { m_app.BeginWaitCursor(); }
    ~WaitCursor() { m_app.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    CWinApp& m_app;
};

void StoreSettings(const CWinApp& app, const OutputRequest& request)
{
    app.WriteProfileInt(L"", L"Clipboard", request.copyToClipboard ? 1 : 0);
    app.WriteProfileInt(L"", L"Save", request.saveToFile ? 1 : 0);
    app.WriteProfileInt(L"", L"Upload", request.upload ? 1 : 0);
    app.WriteProfileInt(L"", L"DPIScale", request.scaleToStandardDpi ? 1 : 0);
    app.WriteProfileInt(L"", L"Format", request.format);
    app.WriteProfileInt(L"", L"Area", request.areaMode);
    app.WriteProfileString(L"", L"SelfDestructTime", request.selfDestructLabel);
}

void ReportSaveFailure(const CString& reason)
{
    AfxMessageBox(L"Could not save Image: " + reason, MB_ICONERROR);
}

// Burns the highlight into the screen image and cuts the area out of it.
// The area is settled first: empty means the primary monitor.
bool CutArea(COrvoCaptureApp& app, CBitmap& cropped)
{
    app.m_rcArea = EffectiveArea(app.m_rcArea, app.m_screen.primary);
    BITMAP info{};
    if (!app.m_bmpScreen.GetSafeHandle() || !app.m_bmpScreen.GetBitmap(&info))
        info = BITMAP{};
    CSelection select(app.m_dcScreen, app.m_bmpScreen);
    if (!app.m_rcHighlight.IsRectEmpty())
        DrawHighlightOutline(app.m_dcScreen, app.m_rcHighlight);
    return CropScreenImage(app.m_dcScreen, CSize(info.bmWidth, info.bmHeight), app.m_rcArea, cropped);
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
// Pictures) and says where.
void UploadImage(COrvoCaptureApp& app, const OutputRequest& request, Gdiplus::GpBitmap* image,
                 CTextProgressCtrl& progress, bool savedToOutputDir)
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
    app.m_strUploadUrl = RunUploadJob(progress, tempPath, withSeconds ? &seconds : nullptr, &steps);
    if (!steps.KeptPath().IsEmpty())
        AfxMessageBox(L"Could not upload the image. It was kept as " + steps.KeptPath(), MB_ICONERROR);
}

}  // namespace

void RunOutputPipeline(const OutputRequest& request, HWND clipboardOwner, CTextProgressCtrl& progress)
{
    COrvoCaptureApp& app = OrvoApp();
    StoreSettings(app, request);
    WaitCursor wait(app);

    CBitmap cropped;
    if (!CutArea(app, cropped)) {
        ReportSaveFailure(GdipStatusText(Gdiplus::OutOfMemory));
        return;
    }

    // Declared before any image so that every image is gone when it ends.
    GdiplusSession gdiplus;
    if (!gdiplus.IsRunning()) {
        ReportSaveFailure(GdipStatusText(gdiplus.Status()));
        return;
    }
    GdipBitmapPtr image;
    if (!MakeFinalImage(cropped, request, image))
        return;

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

    if (request.upload)
        UploadImage(app, request, image.get(), progress, saved);
}
