// Keeping the file of a failed upload: where it goes, and that nothing of
// the user's is overwritten on the way.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/FileNaming.h"
#include "upload/KeptUpload.h"

namespace {

void WriteFile(const CString& path, const std::string& contents)
{
    const HANDLE h = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    ::CloseHandle(h);
}

// Two folders in the temporary directory, emptied and removed afterwards.
class KeepFolders : public ::testing::Test {
protected:
    KeepFolders() : m_output(TempDirPath(L"orvo-keep-out")), m_fallback(TempDirPath(L"orvo-keep-fallback"))
    {
        Clean();
        ::CreateDirectoryW(m_output, nullptr);
        ::CreateDirectoryW(m_fallback, nullptr);
        m_temp = TempDirPath(L"orvo-keep-temp.png");
        WriteFile(m_temp, "image");
    }
    ~KeepFolders() override
    {
        ::DeleteFileW(m_temp);
        Clean();
    }
    void Clean() const
    {
        for (const CString& dir : {m_output, m_fallback}) {
            WIN32_FIND_DATAW data{};
            const HANDLE find = ::FindFirstFileW(dir + L"\\*", &data);
            if (find != INVALID_HANDLE_VALUE) {
                do
                    ::DeleteFileW(dir + L"\\" + data.cFileName);
                while (::FindNextFileW(find, &data));
                ::FindClose(find);
            }
            ::RemoveDirectoryW(dir);
        }
    }
    CString m_output, m_fallback, m_temp;
};

}  // namespace

TEST(KeptUploadNames, NumberGoesBeforeTheExtensionOfTheFileName)
{
    EXPECT_EQ(NumberedFileName(L"D:\\Pics\\shot.jpg", 2), L"D:\\Pics\\shot (2).jpg");
    EXPECT_EQ(NumberedFileName(L"D:\\Pics\\shot.JPG.jpg", 3), L"D:\\Pics\\shot.JPG (3).jpg");
    EXPECT_EQ(NumberedFileName(L"D:\\Pics\\jpg", 2), L"D:\\Pics\\jpg (2)");
    EXPECT_EQ(NumberedFileName(L"D:\\my.pics\\shot", 10), L"D:\\my.pics\\shot (10)");
    EXPECT_EQ(NumberedFileName(L"D:\\Pics\\.jpg", 2), L"D:\\Pics\\ (2).jpg");
}

TEST_F(KeepFolders, FileMovesToThePreferredPath)
{
    const CString wanted = m_output + L"\\shot.png";
    EXPECT_EQ(KeepFile(m_temp, wanted, m_fallback), wanted);
    EXPECT_EQ(ReadFileBytes(wanted), "image");
    EXPECT_FALSE(FileExists(m_temp));
}

TEST_F(KeepFolders, TakenNamesAreSkippedNotOverwritten)
{
    const CString wanted = m_output + L"\\shot.png";
    WriteFile(wanted, "first");
    WriteFile(m_output + L"\\shot (2).png", "second");
    EXPECT_EQ(KeepFile(m_temp, wanted, m_fallback), m_output + L"\\shot (3).png");
    EXPECT_EQ(ReadFileBytes(wanted), "first");
    EXPECT_EQ(ReadFileBytes(m_output + L"\\shot (2).png"), "second");
    EXPECT_EQ(ReadFileBytes(m_output + L"\\shot (3).png"), "image");
}

TEST_F(KeepFolders, FolderThatCannotTakeItSendsTheFileToTheFallback)
{
    const CString wanted = m_output + L"\\missing\\shot.png";
    EXPECT_EQ(KeepFile(m_temp, wanted, m_fallback), m_fallback + L"\\shot.png");
    EXPECT_EQ(ReadFileBytes(m_fallback + L"\\shot.png"), "image");
    // Without a preferred path the fallback takes the file under its own name.
    WriteFile(m_temp, "again");
    EXPECT_EQ(KeepFile(m_temp, CString(), m_fallback + L"\\"), m_fallback + L"\\orvo-keep-temp.png");
}

TEST_F(KeepFolders, FileStaysWhereItIsWhenNothingCanTakeIt)
{
    EXPECT_EQ(KeepFile(m_temp, m_output + L"\\missing\\shot.png", m_fallback + L"\\missing"), m_temp);
    EXPECT_EQ(ReadFileBytes(m_temp), "image");
    EXPECT_EQ(KeepFile(m_temp, CString(), CString()), m_temp);
}

TEST_F(KeepFolders, NoFileNothingKept)
{
    ::DeleteFileW(m_temp);
    EXPECT_EQ(KeepFile(m_temp, m_output + L"\\shot.png", m_fallback), L"");
    EXPECT_FALSE(FileExists(m_output + L"\\shot.png"));
}
