// The output's tables and the arithmetic of names and sizes, apart from any
// drawing.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "output/OutputFileName.h"
#include "capture/OutputChoices.h"
#include "output/GdipStatus.h"
#include "output/OutputGeometry.h"

TEST(OutputFormats, EachRadioIdHasItsExtensionEncoderAndQuality)
{
    const std::pair<int, ULONG> jpegQualities[] = {{1004, 95}, {1005, 90}, {1006, 85}};
    for (const auto& [id, quality] : jpegQualities) {
        ASSERT_NE(FindOutputFormat(id), nullptr) << id;
        EXPECT_EQ(FindOutputFormat(id)->jpegQuality, quality);
        EXPECT_EQ(CString(FindOutputFormat(id)->mimeType), L"image/jpeg");
        EXPECT_EQ(FormatExtension(id), L"jpg");
    }
    ASSERT_NE(FindOutputFormat(1007), nullptr);
    EXPECT_EQ(CString(FindOutputFormat(1007)->mimeType), L"image/gif");
    EXPECT_EQ(FormatExtension(1007), L"gif");
    ASSERT_NE(FindOutputFormat(1008), nullptr);
    EXPECT_EQ(CString(FindOutputFormat(1008)->mimeType), L"image/png");
    EXPECT_EQ(FormatExtension(1008), L"png");
}

TEST(OutputFormats, NoCheckedRadioAndOtherIdsAreNoFormat)
{
    for (int id : {0, 1003, 1009, 1041, -1}) {
        EXPECT_EQ(FindOutputFormat(id), nullptr) << id;
        EXPECT_EQ(FormatExtension(id), L"") << id;
    }
}

TEST(SelfDestructTimes, EachLabelGivesItsSeconds)
{
    const std::pair<const wchar_t*, int> lookups[] = {
        {L"1 minute", 60}, {L"1 hour", 3600}, {L"1 month", 2592000}, {L"6 months", 15552000}, {L"1 year", 31536000}};
    for (const auto& [label, seconds] : lookups) {
        int found = 0;
        EXPECT_TRUE(FindSelfDestructSeconds(label, &found)) << ToAnsi(label);
        EXPECT_EQ(found, seconds) << ToAnsi(label);
    }
}

TEST(SelfDestructTimes, OnlyAnExactLabelMatches)
{
    int found = -7;
    // Not even the end row's empty label counts as a choice.
    for (const wchar_t* label : {L"", L"1 Hour", L"1 hour ", L"1", L"2 hours", L"1 hou"}) {
        EXPECT_FALSE(FindSelfDestructSeconds(label, &found)) << ToAnsi(label);
        EXPECT_EQ(found, -7) << "left alone when nothing matches";
    }
}

TEST(GdipStatusTexts, StatusesUpTo21HaveTheirTextAndLaterOnesTheirNumber)
{
    EXPECT_EQ(GdipStatusText(0), L"No error");
    EXPECT_EQ(GdipStatusText(10), L"File not Found");
    EXPECT_EQ(GdipStatusText(13), L"Unknown Image Format");
    EXPECT_EQ(GdipStatusText(18), L"GDI+ not initalized");
    EXPECT_EQ(GdipStatusText(21), L"Profile not found");
    EXPECT_EQ(GdipStatusText(22), L"GDI+ status 22");
    EXPECT_EQ(GdipStatusText(-1), L"GDI+ status -1");
}

TEST(OutputFileNames, ExtensionIsAddedUnlessTheNameEndsInItExactly)
{
    const CString dir = L"D:\\Pics";
    EXPECT_EQ(OutputFilePath(dir, L"shot", FormatJpgHigh), L"D:\\Pics\\shot.jpg");
    EXPECT_EQ(OutputFilePath(dir, L"shot.jpg", FormatJpgHigh), L"D:\\Pics\\shot.jpg");
    EXPECT_EQ(OutputFilePath(dir, L"shot.JPG", FormatJpgHigh), L"D:\\Pics\\shot.JPG.jpg");
    EXPECT_EQ(OutputFilePath(dir, L"shot.png", FormatJpgHigh), L"D:\\Pics\\shot.png.jpg");
    EXPECT_EQ(OutputFilePath(dir, L"", FormatJpgHigh), L"D:\\Pics\\.jpg");
    EXPECT_EQ(OutputFilePath(dir, L"jpg", FormatJpgHigh), L"D:\\Pics\\jpg");
    EXPECT_EQ(OutputFilePath(dir, L"shot.gif", FormatGif), L"D:\\Pics\\shot.gif");
    EXPECT_EQ(OutputFilePath(dir, L"my.report", FormatPng), L"D:\\Pics\\my.report.png");
}

TEST(OutputFileNames, ADotInTheFolderDoesNotCount)
{
    EXPECT_EQ(OutputFilePath(L"D:\\my.jpg", L"jpg", FormatJpgLow), L"D:\\my.jpg\\jpg");
    EXPECT_EQ(OutputFilePath(L"D:\\v1.png", L"shot", FormatPng), L"D:\\v1.png\\shot.png");
    EXPECT_EQ(ApplyExtensionRule(L"a.b.png", L"png"), L"a.b.png");
    EXPECT_EQ(ApplyExtensionRule(L"shot.", L"png"), L"shot..png");
}

TEST(OutputFileNames, TemporaryCopyLiesInTheTemporaryFolder)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    // The folder ends with a backslash and one more joins it to the name.
    EXPECT_EQ(TemporaryOutputPath(L"shot", FormatGif), CString(temp) + L"\\shot.gif");
    EXPECT_EQ(TemporaryOutputPath(L"shot.png", FormatPng), CString(temp) + L"\\shot.png");
}

TEST(OutputGeometry, StandardDpiSizesTruncate)
{
    EXPECT_EQ(ScaledLength(1366, StandardDpiFactor(144)), 910u);
    EXPECT_EQ(ScaledLength(768, StandardDpiFactor(144)), 512u);
    EXPECT_EQ(ScaledLength(1366, StandardDpiFactor(120)), 1092u);
    EXPECT_EQ(ScaledLength(1366, StandardDpiFactor(72)), 1821u);
    EXPECT_EQ(ScaledLength(1024, StandardDpiFactor(192)), 512u);
    EXPECT_EQ(StandardDpiFactor(96), 1.0) << "exactly one: nothing is scaled at 96 DPI";
}

TEST(OutputGeometry, ScaledSizeIsNeverZero)
{
    EXPECT_EQ(ScaledLength(1, StandardDpiFactor(144)), 1u);
    EXPECT_EQ(ScaledLength(2, StandardDpiFactor(480)), 1u);
    EXPECT_EQ(ScaledLength(0, StandardDpiFactor(120)), 1u);
    EXPECT_EQ(ScaledLength(3, StandardDpiFactor(144)), 2u);
}

TEST(OutputGeometry, UnreadableDpiScalesNothing)
{
    EXPECT_EQ(StandardDpiFactor(0), 1.0);
    EXPECT_EQ(StandardDpiFactor(-96), 1.0);
}

TEST(OutputGeometry, EmptyAreaMeansThePrimaryMonitor)
{
    const CRect primary(1280, 200, 3200, 1280);
    EXPECT_EQ(EffectiveArea(CRect(), primary), primary);
    EXPECT_EQ(EffectiveArea(CRect(50, 50, 50, 400), primary), primary);
    EXPECT_EQ(EffectiveArea(CRect(-300, 10, -100, 90), primary), CRect(-300, 10, -100, 90));
}

TEST(OutputGeometry, CoveredPartIsWhereAreaAndScreenImageMeet)
{
    const CSize image(100, 80);
    EXPECT_EQ(CoveredPart(CRect(10, 20, 30, 40), image), CRect(10, 20, 30, 40));
    EXPECT_EQ(CoveredPart(CRect(-20, -10, 40, 30), image), CRect(0, 0, 40, 30));
    EXPECT_EQ(CoveredPart(CRect(90, 70, 130, 120), image), CRect(90, 70, 100, 80));
    EXPECT_TRUE(CoveredPart(CRect(100, 0, 150, 80), image).IsRectEmpty());
    EXPECT_TRUE(CoveredPart(CRect(-50, -50, 0, 0), image).IsRectEmpty());
}
