#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/Hotkeys.h"

TEST(CommandLine, TheSwitchIsFoundAnywhereInEitherCase)
{
    EXPECT_TRUE(IsUploadMode(UpperCaseCommandLine(L"/u c:\\a.png")));
    EXPECT_TRUE(IsUploadMode(UpperCaseCommandLine(L"c:\\x /U")));
    EXPECT_FALSE(IsUploadMode(UpperCaseCommandLine(L"")));
    EXPECT_FALSE(IsUploadMode(UpperCaseCommandLine(L"-u file")));
}

TEST(CommandLine, ThePathIsTheUpperCasedTailFromTheFourthCharacter)
{
    EXPECT_EQ(UploadPathFromCommandLine(UpperCaseCommandLine(L"/U C:\\Shots\\a.png")), L"C:\\SHOTS\\A.PNG");
    EXPECT_EQ(UploadPathFromCommandLine(UpperCaseCommandLine(L"/UC:\\a.png")), L":\\A.PNG");
    // The position of the switch does not matter.
    EXPECT_EQ(UploadPathFromCommandLine(UpperCaseCommandLine(L"abcdef /U")), L"DEF /U");
    EXPECT_EQ(UploadPathFromCommandLine(UpperCaseCommandLine(L"/U")), L"");
}

TEST(CommandLine, BlanksAndOnePairOfQuotesAroundThePathAreRemoved)
{
    EXPECT_EQ(UploadPathFromCommandLine(L"/U  C:\\A.PNG  "), L"C:\\A.PNG");
    EXPECT_EQ(UploadPathFromCommandLine(L"/U \"C:\\MY SHOTS\\A.PNG\""), L"C:\\MY SHOTS\\A.PNG");
    EXPECT_EQ(UploadPathFromCommandLine(L"/U \"\"A.PNG\"\""), L"\"A.PNG\"");
    // A quote on one side only is part of the name.
    EXPECT_EQ(UploadPathFromCommandLine(L"/U \"A.PNG"), L"\"A.PNG");
    EXPECT_EQ(UploadPathFromCommandLine(L"/U \""), L"\"");
}

TEST(KeyNames, EveryTableNameMapsToItsKeyAndNothingElseDoes)
{
    EXPECT_EQ(KeyNameToVirtualKey(L"Print Screen"), static_cast<UINT>(VK_SNAPSHOT));
    EXPECT_EQ(KeyNameToVirtualKey(L"F1"), static_cast<UINT>(VK_F1));
    EXPECT_EQ(KeyNameToVirtualKey(L"F12"), static_cast<UINT>(VK_F12));
    int count = 0;
    for (int i = 0; g_keyCodes[i] != 0; ++i, ++count)
        EXPECT_EQ(KeyNameToVirtualKey(g_keyNames[i]), g_keyCodes[i]);
    EXPECT_EQ(count, 13);
    EXPECT_EQ(KeyNameToVirtualKey(L"print screen"), 0u);
    EXPECT_EQ(KeyNameToVirtualKey(L"F13"), 0u);
    EXPECT_EQ(KeyNameToVirtualKey(L""), 0u);
}

TEST(KeyNames, OnlyAPrintScreenFailureWhileWindowsKeepsTheKeyTellsWhereToFreeIt)
{
    const wchar_t* failure = L"Could not register hot key for full screen capture";
    const CString hinted = HotkeyFailureMessage(failure, VK_SNAPSHOT, 1);
    EXPECT_EQ(hinted.Find(failure), 0);
    EXPECT_GT(hinted.Find(L"\"Use the Print screen key to open screen capture\""), 0);
    EXPECT_GT(hinted.Find(L"another key"), 0);
    // Another key, the value off or absent: the failure alone.
    EXPECT_EQ(HotkeyFailureMessage(failure, VK_F5, 1), failure);
    EXPECT_EQ(HotkeyFailureMessage(failure, VK_SNAPSHOT, 0), failure);
    EXPECT_EQ(HotkeyFailureMessage(failure, VK_SNAPSHOT, -1), failure);
}
