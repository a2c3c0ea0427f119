#include <cstdlib>
#include <thread>

#include "TestApp.h"
#include "TestSupport.h"
#include "settings/FileNaming.h"

namespace {

// 5 March 2024, 14:07:09 local time.
std::time_t FixedMoment()
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

bool IsRandomName(const CString& name, const wchar_t* extension)
{
    if (name.GetLength() != 11 + static_cast<int>(wcslen(extension)) || name.GetAt(10) != L'.')
        return false;
    for (int i = 0; i < 10; ++i)
        if (!iswalnum(name.GetAt(i)) || name.GetAt(i) > 0x7f)
            return false;
    return name.Mid(11) == extension;
}

}  // namespace

TEST(BuildFileName, SequenceNumbersCountUpAndOutgrowThreeDigits)
{
    TestApp app;
    EXPECT_EQ(BuildFileName(L"Capture", L"jpg", false, true, false, false, FixedMoment()), L"Capture001.jpg");
    EXPECT_EQ(BuildFileName(L"Capture", L"jpg", false, true, false, false, FixedMoment()), L"Capture002.jpg");
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 3u);
    app.WriteProfileInt(L"", L"Seqnum", 999);
    EXPECT_EQ(BuildFileName(L"Capture", L"jpg", false, true, false, false, FixedMoment()), L"Capture999.jpg");
    EXPECT_EQ(BuildFileName(L"Capture", L"jpg", false, true, false, false, FixedMoment()), L"Capture1000.jpg");
}

TEST(BuildFileName, PartsComeInOrderBaseSequenceDateTimeExtension)
{
    TestApp app;
    app.WriteProfileInt(L"", L"Seqnum", 7);
    EXPECT_EQ(BuildFileName(L"Capture", L"jpg", false, true, true, true, FixedMoment()),
              L"Capture007-20240305-140709.jpg");
    EXPECT_EQ(BuildFileName(L"Capture", L"png", false, false, true, true, FixedMoment()),
              L"Capture-20240305-140709.png");
    EXPECT_EQ(BuildFileName(L"Capture", L"gif", false, false, false, true, FixedMoment()), L"Capture-140709.gif");
    EXPECT_EQ(BuildFileName(L"Capture", L"gif", false, false, true, false, FixedMoment()), L"Capture-20240305.gif");
    // Without the sequence number the stored number is neither used nor moved.
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 8u);
}

TEST(BuildFileName, EmptyBaseAndExtensionAreKeptAsTheyAre)
{
    TestApp app;
    EXPECT_EQ(BuildFileName(L"", L"jpg", false, true, false, false, FixedMoment()), L"001.jpg");
    EXPECT_EQ(BuildFileName(L"", L"jpg", false, false, false, false, FixedMoment()), L".jpg");
    EXPECT_EQ(BuildFileName(L"Capture", L"", false, false, false, false, FixedMoment()), L"Capture.");
    // The base is not trimmed or cleaned.
    EXPECT_EQ(BuildFileName(L" a:b ", L"png", false, false, false, false, FixedMoment()), L" a:b .png");
}

TEST(BuildFileName, RandomNamesFollowTheThreadsRandSequenceAndLeaveSeqnumAlone)
{
    TestApp app;
    CString first, second, again;
    // A new thread starts the runtime's generator afresh, like a new process.
    std::thread([&] {
        first = BuildFileName(L"Capture", L"jpg", true, true, true, true, FixedMoment());
        second = BuildFileName(L"Capture", L"jpg", true, false, false, false, FixedMoment());
    }).join();
    std::thread([&] { again = BuildFileName(L"x", L"jpg", true, false, false, false, FixedMoment()); }).join();
    EXPECT_TRUE(IsRandomName(first, L"jpg")) << first.GetString();
    EXPECT_NE(first, second);
    EXPECT_EQ(first, again);
    // rand() draws 41, 18467, 6334, ...: 41 % 62 = 41 -> 'P', 18467 % 62 = 53 -> '1'.
    EXPECT_EQ(first.Left(2), L"P1");
    EXPECT_FALSE(app.ValueNames().size());
}

TEST(GetDefaultFileName, ReadsTheNamingSettingsWithTheirDefaults)
{
    TestApp app;
    // Nothing stored: the base with the sequence number, as the settings
    // dialog shows it; random names only when asked for.
    app.WriteProfileString(L"", L"Filename", L"Shot");
    EXPECT_EQ(GetDefaultFileName(L"", L""), L"Shot001.");
    app.WriteProfileInt(L"", L"Randomize", 1);
    EXPECT_TRUE(IsRandomName(GetDefaultFileName(L"jpg", L""), L"jpg"));

    // Only exactly 1 counts as on.
    app.WriteProfileInt(L"", L"AppendSeq", 2);
    app.WriteProfileInt(L"", L"Randomize", 2);
    EXPECT_EQ(GetDefaultFileName(L"png", L""), L"Shot.png");
}

TEST(GetDefaultFileName, OffersOnlyNamesThatNoFileInTheFolderHas)
{
    TestApp app;
    const CString dir = TempDirPath(L"orvo-free-names");
    ::CreateDirectoryW(dir, nullptr);
    const auto touch = [&](const wchar_t* name) {
        ::CloseHandle(::CreateFileW(dir + L"\\" + name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    };
    touch(L"Shot001.jpg");
    touch(L"Shot002.jpg");
    app.WriteProfileString(L"", L"Filename", L"Shot");
    EXPECT_EQ(GetDefaultFileName(L"jpg", dir), L"Shot003.jpg");
    EXPECT_EQ(app.GetProfileInt(L"", L"Seqnum", 0), 4u) << "the numbers passed over are used up";

    // A name that never changes is numbered like a copy.
    app.WriteProfileInt(L"", L"AppendSeq", 0);
    touch(L"Shot.jpg");
    touch(L"Shot (2).jpg");
    EXPECT_EQ(GetDefaultFileName(L"jpg", dir), L"Shot (3).jpg");

    // The random sequence starts again with every run: its first name is
    // passed over when an earlier run saved under it.
    app.WriteProfileInt(L"", L"Randomize", 1);
    std::srand(1);
    const CString first = GetDefaultFileName(L"jpg", dir);
    touch(first);
    std::srand(1);
    const CString next = GetDefaultFileName(L"jpg", dir);
    EXPECT_NE(next, first);
    EXPECT_TRUE(IsRandomName(next, L"jpg"));

    for (const CString& name : {CString(L"Shot001.jpg"), CString(L"Shot002.jpg"), CString(L"Shot.jpg"),
                                CString(L"Shot (2).jpg"), first})
        ::DeleteFileW(dir + L"\\" + name);
    ::RemoveDirectoryW(dir);
}
