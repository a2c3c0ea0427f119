#include <gtest/gtest.h>

#include "framework/CString.h"

TEST(CStringFormat, WideAndNarrowArgumentsKeepTheWindowsMeaning)
{
    CString s;
    s.Format(L"[%s|%hs|%03d|%04X]", L"wide", "narrow", 7, 0x29);
    EXPECT_EQ(s, L"[wide|narrow|007|0029]");
}

TEST(CStringFormat, LongResultsGrowTheBuffer)
{
    CString big(std::wstring(1000, L'x'));
    CString s;
    s.Format(L"<%s>", big.GetString());
    EXPECT_EQ(s.GetLength(), 1002);
}

TEST(CStringEdit, FindMidAndTrim)
{
    CString s(L"  Uploaded: http://x/a.png\r\n");
    EXPECT_EQ(s.Find(L"Uploaded: "), 2);
    EXPECT_EQ(s.Find(L"nothere"), -1);
    EXPECT_EQ(s.Find(L'\n', 3), s.GetLength() - 1);
    EXPECT_EQ(s.Mid(12, 15), L"http://x/a.png\r");
    EXPECT_EQ(s.Mid(-4, 2), L"  ");
    EXPECT_EQ(s.Mid(100), L"");
    EXPECT_EQ(CString(s).Trim(), L"Uploaded: http://x/a.png");
    EXPECT_EQ(CString(L"a.b.c").ReverseFind(L'.'), 3);
}

TEST(CStringEdit, UpperCasingChangesOnlyAsciiLetters)
{
    CString s(L"/u c:\\caf\u00e9.png");
    EXPECT_EQ(s.MakeUpper(), L"/U C:\\CAF\u00e9.PNG");
}

TEST(CStringAnsi, ConversionUsesTheCodePageAndItsReplacements)
{
    EXPECT_EQ(ToAnsi(L"caf\u00e9", 1252), "caf\xe9");
    // A character 1252 cannot hold becomes a single replacement byte.
    EXPECT_EQ(ToAnsi(L"\u4e2d", 1252).size(), 1u);
    EXPECT_EQ(ToAnsi(L""), "");
    EXPECT_EQ(FromAnsi("caf\xe9", -1, 1252), L"caf\u00e9");
}

TEST(CStringFormat, AFormatThatCannotBeProducedGivesAnEmptyStringAtOnce)
{
    CString s(L"before");
    // A width past INT_MAX characters: no buffer would ever be large enough.
    s.Format(L"%2147483647d", 1);
    EXPECT_EQ(s, L"");
    s.Format(L"%d%%", 5);
    EXPECT_EQ(s, L"5%");
}
