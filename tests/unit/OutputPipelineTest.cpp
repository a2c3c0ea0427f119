// The whole road from the frozen screen image to the clipboard, the output
// folder and the image host, on real bitmaps, the real clipboard, registry
// and GDI+, with the fake image host for uploads.
#include <gtest/gtest.h>

#include "FakeHttpServer.h"
#include "MessageBoxAnswerer.h"
#include "OutputTestSupport.h"
#include "TestSupport.h"
#include "output/OutputFileName.h"
#include "output/OutputPipeline.h"
#include "ui/TextProgressCtrl.h"
#include "upload/KeptUpload.h"

namespace {

// A folder in the temporary directory for one test's output, removed with
// everything in it afterwards.
class OutputFolder {
public:
    explicit OutputFolder(const wchar_t* name) : m_path(TempDirPath(name))
    {
        Remove();
        ::CreateDirectoryW(m_path, nullptr);
    }
    ~OutputFolder() { Remove(); }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    const CString& Path() const { return m_path; }
    CString File(const wchar_t* name) const { return m_path + L"\\" + name; }
    // Names of the files in it.
    std::vector<CString> Files() const
    {
        std::vector<CString> names;
        WIN32_FIND_DATAW data{};
        const HANDLE find = ::FindFirstFileW(m_path + L"\\*", &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.emplace_back(data.cFileName);
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
        return names;
    }

private:
    void Remove() const
    {
        for (const CString& name : Files())
            ::DeleteFileW(m_path + L"\\" + name);
        ::RemoveDirectoryW(m_path);
    }
    CString m_path;
};

// One press of OK: the application with its screen image, the dialog's
// progress bar, and a watcher that answers every message box.
class OutputPipeline : public ::testing::Test {
protected:
    OutputPipeline() { m_bar.Create(PBS_SMOOTH, CRect(10, 10, 560, 60), &HostWindow(), 1016); }

    OutputRequest Request(int format, const CString& dir)
    {
        OutputRequest r;
        r.fileName = L"shot";
        r.format = format;
        r.outputDir = dir;
        r.areaMode = 1011;
        return r;
    }

    void Run(const OutputRequest& request)
    {
        MessageBoxAnswerer answerer;
        // The dialog hands over the area the session holds at OK.
        OutputRequest withArea = request;
        withArea.area = m_app.m_session.m_rcArea;
        m_address = RunOutputPipeline(m_app.m_session, withArea, HostWindow(), m_bar).m_strAddress;
        m_shown = answerer.Shown();
    }

    std::vector<CString> Messages() const
    {
        std::vector<CString> texts;
        for (const ShownMessage& m : m_shown)
            texts.push_back(m.text);
        return texts;
    }

    OutputTestApp m_app;
    CTextProgressCtrl m_bar;
    CString m_address;  // what the last run returned
    std::vector<ShownMessage> m_shown;
};

}  // namespace

// --- one image for every destination -----------------------------------------

TEST_F(OutputPipeline, AreaIsCroppedExactlyAndClipboardAndFileGetTheSameImage)
{
    OutputFolder dir(L"orvo-out-crop");
    m_app.MakeScreenImage(300, 200);
    const CRect area(17, 23, 117, 73);
    m_app.m_session.m_rcArea = area;
    OutputRequest r = Request(FormatPng, dir.Path());
    r.copyToClipboard = true;
    r.saveToFile = true;
    r.scaleToStandardDpi = true;  // the screen here is at 96 DPI: nothing to scale
    Run(r);
    EXPECT_TRUE(Messages().empty());

    const Pixels clipboard = ReadClipboardBitmap();
    EXPECT_TRUE(SamePixels(clipboard, PatternOver(area))) << clipboard.width << "x" << clipboard.height;
    GdiplusSession gdiplus;
    const Pixels file = ReadImageFile(dir.File(L"shot.png"));
    EXPECT_TRUE(SamePixels(file, clipboard));
    EXPECT_EQ(m_app.m_session.m_rcArea, area);
}

TEST_F(OutputPipeline, HighlightIsBurnedIntoTheOutputAndStaysInTheScreenImage)
{
    OutputFolder dir(L"orvo-out-highlight");
    m_app.MakeScreenImage(300, 200);
    m_app.m_session.m_rcArea = CRect(50, 40, 250, 160);
    m_app.m_session.m_rcHighlight = CRect(60, 50, 120, 100);
    OutputRequest r = Request(FormatPng, dir.Path());
    r.saveToFile = true;
    Run(r);
    EXPECT_TRUE(Messages().empty());

    GdiplusSession gdiplus;
    const Pixels out = ReadImageFile(dir.File(L"shot.png"));
    ASSERT_EQ(out.width, 200);
    ASSERT_EQ(out.height, 120);
    // Edge middles in output coordinates: two red rings, pattern inside and out.
    const int left = 10, top = 10, right = 70, bottom = 60;
    const int midY = (top + bottom) / 2, midX = (left + right) / 2;
    EXPECT_EQ(out.At(left - 1, midY), PatternAt(50 + left - 1, 40 + midY));
    EXPECT_EQ(out.At(left, midY), kRed);
    EXPECT_EQ(out.At(left + 1, midY), kRed);
    EXPECT_EQ(out.At(left + 2, midY), PatternAt(50 + left + 2, 40 + midY));
    EXPECT_EQ(out.At(right - 1, midY), kRed);
    EXPECT_EQ(out.At(right - 2, midY), kRed);
    EXPECT_EQ(out.At(right, midY), PatternAt(50 + right, 40 + midY));
    EXPECT_EQ(out.At(midX, top), kRed);
    EXPECT_EQ(out.At(midX, top + 1), kRed);
    EXPECT_EQ(out.At(midX, bottom - 1), kRed);
    EXPECT_EQ(out.At(midX, bottom - 2), kRed);
    EXPECT_EQ(out.At(midX, bottom - 3), PatternAt(50 + midX, 40 + bottom - 3));

    const Pixels screen = ReadBitmap(m_app.m_session.m_bmpScreen);
    EXPECT_EQ(screen.At(60, 75), kRed) << "the outline stays in the screen image";
    EXPECT_EQ(screen.At(61, 75), kRed);
}

TEST_F(OutputPipeline, HighlightOutsideTheAreaLeavesTheOutputAlone)
{
    m_app.MakeScreenImage(300, 200);
    m_app.m_session.m_rcArea = CRect(0, 0, 100, 100);
    m_app.m_session.m_rcHighlight = CRect(150, 120, 220, 180);
    OutputRequest r = Request(FormatPng, L"");
    r.copyToClipboard = true;
    Run(r);
    EXPECT_TRUE(SamePixels(ReadClipboardBitmap(), PatternOver(CRect(0, 0, 100, 100))));
}

TEST_F(OutputPipeline, EmptyAreaIsThePrimaryMonitorWhereverItLies)
{
    OutputFolder dir(L"orvo-out-primary");
    // A second monitor left of the primary one and reaching above it: the
    // primary monitor lies at (150, 60) of the 400 x 300 image.
    m_app.MakeScreenImage(400, 300);
    m_app.m_session.m_screen = VirtualScreenOf({CRect(-150, -60, 0, 240), CRect(0, 0, 250, 240)});
    m_app.m_session.m_rcArea.SetRectEmpty();
    OutputRequest r = Request(FormatPng, dir.Path());
    r.saveToFile = true;
    Run(r);
    EXPECT_TRUE(Messages().empty());
    GdiplusSession gdiplus;
    EXPECT_TRUE(SamePixels(ReadImageFile(dir.File(L"shot.png")), PatternOver(CRect(150, 60, 400, 300))));
}

TEST_F(OutputPipeline, AreaPartlyOffTheScreenImageIsBlackThere)
{
    m_app.MakeScreenImage(200, 150);
    const CRect area(-30, 120, 70, 180);
    m_app.m_session.m_rcArea = area;
    OutputRequest r = Request(FormatPng, L"");
    r.copyToClipboard = true;
    Run(r);
    const Pixels p = ReadClipboardBitmap();
    ASSERT_EQ(p.width, 100);
    ASSERT_EQ(p.height, 60);
    EXPECT_EQ(p.At(0, 0), kBlack);
    EXPECT_EQ(p.At(29, 29), kBlack);
    EXPECT_EQ(p.At(30, 29), PatternAt(0, 149));
    EXPECT_EQ(p.At(99, 0), PatternAt(69, 120));
    EXPECT_EQ(p.At(99, 30), kBlack);
}

TEST_F(OutputPipeline, GifGoesToTheClipboardAndTheFileReduced)
{
    OutputFolder dir(L"orvo-out-gif");
    m_app.MakeScreenImage(300, 200);
    const CRect area(0, 0, 256, 128);  // far more than 256 colours
    m_app.m_session.m_rcArea = area;
    OutputRequest r = Request(FormatGif, dir.Path());
    r.copyToClipboard = true;
    r.saveToFile = true;
    Run(r);
    EXPECT_TRUE(Messages().empty());

    const Pixels clipboard = ReadClipboardBitmap();
    ASSERT_EQ(clipboard.width, 256);
    ASSERT_EQ(clipboard.height, 128);
    std::vector<uint32_t> colours = clipboard.data;
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    EXPECT_LE(colours.size(), 256u) << "the reduced image, not the full-colour one";
    const Pixels original = PatternOver(area);
    int distant = 0;
    for (size_t i = 0; i < original.data.size(); ++i)
        for (int shift : {0, 8, 16})
            if (std::abs(static_cast<int>((clipboard.data[i] >> shift) & 0xFF) -
                         static_cast<int>((original.data[i] >> shift) & 0xFF)) > 40)
                ++distant;
    EXPECT_EQ(distant, 0) << "the reduced image still shows the capture";

    GdiplusSession gdiplus;
    Gdiplus::PixelFormat format = 0;
    const Pixels file = ReadImageFile(dir.File(L"shot.gif"), &format);
    EXPECT_TRUE(format & PixelFormatIndexed);
    EXPECT_TRUE(SamePixels(file, clipboard));
}

// --- settings and failures ----------------------------------------------------

TEST_F(OutputPipeline, SettingsAreStoredAndNoDestinationMeansNoOutput)
{
    OutputFolder dir(L"orvo-out-none");
    m_app.MakeScreenImage(100, 100);
    PutTextOnClipboard(HostWindow(), L"before");
    OutputRequest r = Request(FormatJpgMedium, dir.Path());
    r.scaleToStandardDpi = true;
    r.areaMode = 1010;
    r.selfDestruct = true;
    r.selfDestructLabel = L"4 hours";
    Run(r);
    EXPECT_TRUE(Messages().empty());

    EXPECT_EQ(m_app.GetProfileInt(L"", L"Clipboard", 7), 0u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Save", 7), 0u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Upload", 7), 0u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"DPIScale", 7), 1u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Format", 7), 1005u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Area", 7), 1010u);
    EXPECT_EQ(m_app.GetProfileString(L"", L"SelfDestructTime"), L"4 hours");
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_FALSE(ClipboardHasBitmap()) << "the clipboard keeps what it had";
}

TEST_F(OutputPipeline, CheckStatesAreStoredAsOneAndZero)
{
    m_app.MakeScreenImage(40, 40);
    OutputRequest r = Request(0, L"");
    r.copyToClipboard = true;
    Run(r);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Clipboard", 7), 1u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"DPIScale", 7), 0u);
    EXPECT_EQ(m_app.GetProfileInt(L"", L"Format", 7), 0u);
    EXPECT_EQ(m_app.GetProfileString(L"", L"SelfDestructTime", L"x"), L"");
    EXPECT_EQ(ReadClipboardBitmap().width, 40) << "the clipboard needs no format";
}

TEST_F(OutputPipeline, SavingWithNoFormatCheckedIsUnknownImageFormat)
{
    OutputFolder dir(L"orvo-out-noformat");
    m_app.MakeScreenImage(50, 50);
    OutputRequest r = Request(0, dir.Path());
    r.saveToFile = true;
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, L"Could not save Image: Unknown Image Format");
    EXPECT_TRUE(m_shown[0].errorIcon);
    EXPECT_TRUE(dir.Files().empty());
}

TEST_F(OutputPipeline, FailedSaveIsReportedWithTheStatusText)
{
    m_app.MakeScreenImage(50, 50);
    OutputRequest r = Request(FormatPng, TempDirPath(L"orvo-no-such-folder"));
    r.saveToFile = true;
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text.Find(L"Could not save Image: "), 0) << ToAnsi(m_shown[0].text);
    EXPECT_GT(m_shown[0].text.GetLength(), 22);
    EXPECT_TRUE(m_shown[0].errorIcon);
}

TEST_F(OutputPipeline, AreaTooLargeForMemoryIsReportedAndNothingIsWritten)
{
    OutputFolder dir(L"orvo-out-huge");
    m_app.MakeScreenImage(50, 50);
    m_app.m_session.m_rcArea = CRect(0, 0, 300000, 300000);
    PutTextOnClipboard(HostWindow(), L"before");
    OutputRequest r = Request(FormatPng, dir.Path());
    r.saveToFile = true;
    r.copyToClipboard = true;
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, L"Could not save Image: Out of memory");
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_FALSE(ClipboardHasBitmap());
}

TEST_F(OutputPipeline, ClipboardHeldElsewhereIsReported)
{
    m_app.MakeScreenImage(30, 30);
    // Another thread holds the clipboard open for the length of the run.
    HANDLE opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        ::OpenClipboard(nullptr);
        ::SetEvent(opened);
        ::WaitForSingleObject(done, 60000);
        ::CloseClipboard();
    });
    ::WaitForSingleObject(opened, 10000);
    OutputRequest r = Request(FormatPng, L"");
    r.copyToClipboard = true;
    Run(r);
    ::SetEvent(done);
    holder.join();
    ::CloseHandle(opened);
    ::CloseHandle(done);
    ASSERT_FALSE(m_shown.empty());
    EXPECT_EQ(m_shown[0].text, L"Cannot open the Clipboard");
    EXPECT_TRUE(m_shown[0].errorIcon);
}

// --- uploads ------------------------------------------------------------------

namespace {

// The contents of the file part of a multipart body.
std::string FilePart(const Received& r)
{
    const size_t head = r.body.find("Content-Type: application/octet-stream\r\n\r\n");
    if (head == std::string::npos)
        return std::string();
    const size_t start = head + 42;
    const size_t end = r.body.rfind("\r\n--");
    return end > start ? r.body.substr(start, end - start) : std::string();
}

}  // namespace

TEST_F(OutputPipeline, UploadSendsTheSavedImageAndKeepsTheAddress)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/up.png\r\n"));
    START_SERVER(server);
    OutputFolder dir(L"orvo-out-upload");
    m_app.MakeScreenImage(120, 90);
    OutputRequest r = Request(FormatPng, dir.Path());
    r.saveToFile = true;
    r.upload = true;
    r.selfDestruct = true;
    r.selfDestructLabel = L"1 hour";
    Run(r);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(m_address, L"http://127.0.0.1/i/up.png");
    EXPECT_FALSE(FileExists(TemporaryOutputPath(L"shot", FormatPng)));
    EXPECT_FALSE(m_bar.IsWindowVisible());
    server.Stop();
    const std::vector<Received> got = server.Requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].body.find("name=\"selfdestruct_timeout\"\r\n\r\n3600\r\n"), std::string::npos);
    const std::string saved = ReadFileBytes(dir.File(L"shot.png"));
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(FilePart(got[0]) == saved) << "the upload carries the saved image";
}

TEST_F(OutputPipeline, SuccessfulUploadOnlyLeavesNoFileAnywhereAndAnUnknownLabelSendsNoField)
{
    FakeServer server(HttpResponse("Uploaded: http://127.0.0.1/i/up.jpg\r\n"));
    START_SERVER(server);
    OutputFolder dir(L"orvo-out-uploadonly");
    m_app.MakeScreenImage(20, 20);
    OutputRequest r = Request(FormatJpgLow, dir.Path());
    r.upload = true;
    r.selfDestruct = true;
    r.selfDestructLabel = L"2 hours";
    Run(r);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(m_address, L"http://127.0.0.1/i/up.jpg");
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_FALSE(FileExists(TemporaryOutputPath(L"shot", FormatJpgLow)));
    server.Stop();
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body.find("selfdestruct_timeout"), std::string::npos);
    EXPECT_EQ(FilePart(server.Requests()[0]).substr(0, 2), "\xFF\xD8") << "a JPEG went up";
}

// What a failed upload from a capture says, up to where the image is.
const CString kNoAddress = L"The image host at localhost:80 answered without the image's address. Check that the "
                           L"address in Settings is that of an image host. The image was saved as ";

TEST_F(OutputPipeline, FailedUploadKeepsTheImageInTheOutputFolderAndSaysWhere)
{
    FakeServer server(HttpResponse("X-Other: 1\r\n"));  // an answer without an address
    START_SERVER(server);
    OutputFolder dir(L"orvo-out-keep");
    m_app.MakeScreenImage(60, 40);
    OutputRequest r = Request(FormatPng, dir.Path());
    r.upload = true;
    Run(r);
    const CString kept = dir.File(L"shot.png");
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, kNoAddress + kept + L".");
    EXPECT_TRUE(m_shown[0].errorIcon);
    EXPECT_EQ(m_address, L"");
    EXPECT_FALSE(FileExists(TemporaryOutputPath(L"shot", FormatPng)));
    GdiplusSession gdiplus;
    EXPECT_TRUE(SamePixels(ReadImageFile(kept), PatternOver(CRect(0, 0, 60, 40))));
}

TEST_F(OutputPipeline, FailedUploadKeepsTheImageInPicturesWhenTheOutputFolderCannotTakeIt)
{
    FakeServer server(HttpResponse("X-Other: 1\r\n"));
    START_SERVER(server);
    m_app.MakeScreenImage(60, 40);
    OutputRequest r = Request(FormatPng, TempDirPath(L"orvo-no-such-folder"));
    r.fileName = L"orvo-kept-in-pictures";
    r.upload = true;
    const CString pictures = PicturesFolder();
    ASSERT_FALSE(pictures.IsEmpty());
    ::CreateDirectoryW(pictures, nullptr);
    const CString expected = pictures + L"\\orvo-kept-in-pictures.png";
    ::DeleteFileW(expected);
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, kNoAddress + expected + L".");
    EXPECT_TRUE(FileExists(expected));
    ::DeleteFileW(expected);
}

TEST_F(OutputPipeline, FailedUploadOfASavedImageLeavesOnlyTheSavedFile)
{
    FakeServer server(HttpResponse("X-Other: 1\r\n"));
    START_SERVER(server);
    OutputFolder dir(L"orvo-out-saved");
    m_app.MakeScreenImage(60, 40);
    OutputRequest r = Request(FormatPng, dir.Path());
    r.saveToFile = true;
    r.upload = true;
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, kNoAddress + dir.File(L"shot.png") + L".") << "the one message says where it is";
    EXPECT_EQ(dir.Files(), std::vector<CString>{L"shot.png"});
    EXPECT_FALSE(FileExists(TemporaryOutputPath(L"shot", FormatPng)));
}

TEST_F(OutputPipeline, FailedUploadDoesNotOverwriteAFileOfTheSameName)
{
    FakeServer server(HttpResponse("X-Other: 1\r\n"));
    START_SERVER(server);
    OutputFolder dir(L"orvo-out-taken");
    {
        TempFile placeholder(std::string("older"), L"orvo-unused.bin");
        ::CopyFileW(placeholder.Path(), dir.File(L"shot.png"), FALSE);
    }
    m_app.MakeScreenImage(60, 40);
    OutputRequest r = Request(FormatPng, dir.Path());
    r.upload = true;
    Run(r);
    ASSERT_EQ(m_shown.size(), 1u);
    EXPECT_EQ(m_shown[0].text, kNoAddress + dir.File(L"shot (2).png") + L".");
    EXPECT_EQ(ReadFileBytes(dir.File(L"shot.png")), "older");
}
