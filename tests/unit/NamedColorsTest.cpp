#include <gtest/gtest.h>

#include "ui/NamedColors.h"

namespace {
COLORREF Parse(const wchar_t* text) { return CXNamedColors(text).GetColor(); }
}  // namespace

TEST(NamedColors, AWholeNameInAnyCaseGivesItsColour)
{
    size_t rows = 0;
    while (g_namedColors[rows].name)
        ++rows;
    EXPECT_EQ(rows, 140u);
    // The first and last rows and a few everyday names.
    EXPECT_EQ(Parse(L"AliceBlue"), RGB(0xF0, 0xF8, 0xFF));
    EXPECT_EQ(Parse(L"yellowgreen"), RGB(0x8B, 0xCD, 0x32));
    EXPECT_EQ(Parse(L"NAVY"), RGB(0x00, 0x00, 0x80));
    EXPECT_EQ(Parse(L"red"), 0x0000FFu);
    EXPECT_EQ(Parse(L"RED"), 0x0000FFu);
    // A name that starts another one is matched whole, never by its start.
    EXPECT_EQ(Parse(L"Blue"), RGB(0x00, 0x00, 0xFF));
    EXPECT_EQ(Parse(L"blueviolet"), RGB(0x8A, 0x2B, 0xE2));
    EXPECT_EQ(Parse(L"Blu"), 0u);
    EXPECT_EQ(Parse(L"BlueViolets"), 0u);
    EXPECT_EQ(Parse(L"Red "), 0u);
}

TEST(NamedColors, TheEntriesThatDifferFromTheWebKeepTheirOwnValues)
{
    EXPECT_EQ(Parse(L"BlanchedAlmond"), RGB(0xFF, 0xFF, 0xCD));
    EXPECT_EQ(Parse(L"Gray"), RGB(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(Parse(L"YellowGreen"), RGB(0x8B, 0xCD, 0x32));
    EXPECT_EQ(Parse(L"Aqua"), Parse(L"Cyan"));
    EXPECT_EQ(Parse(L"Fuchsia"), Parse(L"Magenta"));
    EXPECT_EQ(Parse(L"LightGrey"), RGB(0xD3, 0xD3, 0xD3));
    // Only LightGrey is spelled with an e, and Grey is no name at all.
    EXPECT_EQ(Parse(L"LightGray"), 0u);
    EXPECT_EQ(Parse(L"Grey"), 0u);
}

TEST(NamedColors, HashNotationReadsThreeHexPairsOfASevenCharacterText)
{
    EXPECT_EQ(Parse(L"#00FF80"), RGB(0x00, 0xFF, 0x80));
    EXPECT_EQ(Parse(L"#abcdef"), RGB(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(Parse(L"#00FF8"), 0u);
    EXPECT_EQ(Parse(L"#00FF800"), 0u);
    // Each pair is read up to its first character that is no digit.
    EXPECT_EQ(Parse(L"#G0FF80"), RGB(0x00, 0xFF, 0x80));
    EXPECT_EQ(Parse(L"#0GFF80"), RGB(0x00, 0xFF, 0x80));
    // A "#" further in leaves fewer characters after it; nothing past the
    // end of the text is read.
    EXPECT_EQ(Parse(L"12345#F"), RGB(0x0F, 0x00, 0x00));
    EXPECT_EQ(Parse(L"123456#"), 0u);
}

TEST(NamedColors, CommaNotationReadsDecimalsKeepingTheirLowEightBits)
{
    EXPECT_EQ(Parse(L"255,128"), RGB(255, 128, 0));
    EXPECT_EQ(Parse(L"300,0,0"), RGB(44, 0, 0));
    EXPECT_EQ(Parse(L" 1, +2,3 "), RGB(1, 2, 3));
    EXPECT_EQ(Parse(L"-1,0,0"), RGB(255, 0, 0));
    EXPECT_EQ(Parse(L"x,y,z"), 0u);
    EXPECT_EQ(Parse(L"10,20,30,40"), RGB(10, 20, 30));
    // A comma wins over a "#".
    EXPECT_EQ(Parse(L"#1,2"), RGB(0, 2, 0));
    // Digits past any int keep counting in the low bits instead of overflowing.
    EXPECT_EQ(Parse(L"99999999999999999999999,0,0"), RGB(255, 0, 0));
}

TEST(NamedColors, EmptyOrUnknownTextGivesBlack)
{
    EXPECT_EQ(Parse(L""), 0u);
    EXPECT_EQ(Parse(nullptr), 0u);
    EXPECT_EQ(Parse(L"NoSuchColour"), 0u);
    CXNamedColors color(L"White");
    EXPECT_EQ(color.GetColor(), RGB(255, 255, 255));
    color.ParseColor(L"nonsense");
    EXPECT_EQ(color.GetColor(), 0u);
}
