#include <gtest/gtest.h>

#include "MessageBoxAnswerer.h"
#include "TestCaptureApp.h"
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

TEST(KeyNames, TheStoredNamesMapToTheirKeysExactly)
{
    EXPECT_EQ(KeyNameToVirtualKey(L"Print Screen"), static_cast<UINT>(VK_SNAPSHOT));
    EXPECT_EQ(KeyNameToVirtualKey(L"F1"), static_cast<UINT>(VK_F1));
    EXPECT_EQ(KeyNameToVirtualKey(L"F12"), static_cast<UINT>(VK_F12));
    EXPECT_EQ(KeyNameToVirtualKey(L"print screen"), 0u);
    EXPECT_EQ(KeyNameToVirtualKey(L"F13"), 0u);
    EXPECT_EQ(KeyNameToVirtualKey(L""), 0u);
}

TEST(Hotkeys, ChangesKeepTheirIdentifiersAndTheEndReleasesThem)
{
    MessageBoxAnswerer answerer;  // a combination taken elsewhere only shows a message
    TestCaptureApp app;
    app.m_tray.AddToTray(nullptr);
    app.m_pMainWnd = &app.m_tray;
    ASSERT_EQ(::GlobalFindAtomW(L"FULLSCREEN"), 0) << "left by an earlier application object";
    app.RegisterHotkeys();
    const ATOM fullscreen = app.m_atomFullscreen;
    ASSERT_NE(fullscreen, 0);
    app.WriteProfileInt(L"", L"HotkeyFSShift", 1);
    app.RegisterHotkeys();
    EXPECT_EQ(app.m_atomFullscreen, fullscreen);
    // One reference each, given back at the end: no name is left behind.
    app.ExitInstance();
    EXPECT_EQ(::GlobalFindAtomW(L"FULLSCREEN"), 0);
    EXPECT_EQ(::GlobalFindAtomW(L"WINDOW"), 0);
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
