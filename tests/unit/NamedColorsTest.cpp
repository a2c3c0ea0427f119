#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ui/NamedColors.h"

namespace {

// The colour names as the About box's markup documents them, red first.
const wchar_t* const kDocumentedColors =
    L"AliceBlue F0F8FF, AntiqueWhite FAEBD7, Aqua 00FFFF, Aquamarine 7FFFD4, Azure F0FFFF, Beige F5F5DC, "
    L"Bisque FFE4C4, Black 000000, BlanchedAlmond FFFFCD, Blue 0000FF, BlueViolet 8A2BE2, Brown A52A2A, "
    L"Burlywood DEB887, CadetBlue 5F9EA0, Chartreuse 7FFF00, Chocolate D2691E, Coral FF7F50, "
    L"CornflowerBlue 6495ED, Cornsilk FFF8DC, Crimson DC143C, Cyan 00FFFF, DarkBlue 00008B, "
    L"DarkCyan 008B8B, DarkGoldenRod B8860B, DarkGray A9A9A9, DarkGreen 006400, DarkKhaki BDB76B, "
    L"DarkMagenta 8B008B, DarkOliveGreen 556B2F, DarkOrange FF8C00, DarkOrchid 9932CC, DarkRed 8B0000, "
    L"DarkSalmon E9967A, DarkSeaGreen 8FBC8F, DarkSlateBlue 483D8B, DarkSlateGray 2F4F4F, "
    L"DarkTurquoise 00CED1, DarkViolet 9400D3, DeepPink FF1493, DeepSkyBlue 00BFFF, DimGray 696969, "
    L"DodgerBlue 1E90FF, FireBrick B22222, FloralWhite FFFAF0, ForestGreen 228B22, Fuchsia FF00FF, "
    L"Gainsboro DCDCDC, GhostWhite F8F8FF, Gold FFD700, GoldenRod DAA520, Gray 7F7F7F, Green 008000, "
    L"GreenYellow ADFF2F, HoneyDew F0FFF0, HotPink FF69B4, IndianRed CD5C5C, Indigo 4B0082, Ivory FFFFF0, "
    L"Khaki F0E68C, Lavender E6E6FA, LavenderBlush FFF0F5, Lawngreen 7CFC00, LemonChiffon FFFACD, "
    L"LightBlue ADD8E6, LightCoral F08080, LightCyan E0FFFF, LightGoldenRodYellow FAFAD2, "
    L"LightGreen 90EE90, LightGrey D3D3D3, LightPink FFB6C1, LightSalmon FFA07A, LightSeaGreen 20B2AA, "
    L"LightSkyBlue 87CEFA, LightSlateGray 778899, LightSteelBlue B0C4DE, LightYellow FFFFE0, Lime 00FF00, "
    L"LimeGreen 32CD32, Linen FAF0E6, Magenta FF00FF, Maroon 800000, MediumAquamarine 66CDAA, "
    L"MediumBlue 0000CD, MediumOrchid BA55D3, MediumPurple 9370DB, MediumSeaGreen 3CB371, "
    L"MediumSlateBlue 7B68EE, MediumSpringGreen 00FA9A, MediumTurquoise 48D1CC, MediumVioletRed C71585, "
    L"MidnightBlue 191970, MintCream F5FFFA, MistyRose FFE4E1, Moccasin FFE4B5, NavajoWhite FFDEAD, "
    L"Navy 000080, OldLace FDF5E6, Olive 808000, OliveDrab 6B8E23, Orange FFA500, OrangeRed FF4500, "
    L"Orchid DA70D6, PaleGoldenRod EEE8AA, PaleGreen 98FB98, PaleTurquoise AFEEEE, PaleVioletRed DB7093, "
    L"PapayaWhip FFEFD5, PeachPuff FFDAB9, Peru CD853F, Pink FFC0CB, Plum DDA0DD, PowderBlue B0E0E6, "
    L"Purple 800080, Red FF0000, RosyBrown BC8F8F, RoyalBlue 4169E1, SaddleBrown 8B4513, Salmon FA8072, "
    L"SandyBrown F4A460, SeaGreen 2E8B57, SeaShell FFF5EE, Sienna A0522D, Silver C0C0C0, SkyBlue 87CEEB, "
    L"SlateBlue 6A5ACD, SlateGray 708090, Snow FFFAFA, SpringGreen 00FF7F, SteelBlue 4682B4, Tan D2B48C, "
    L"Teal 008080, Thistle D8BFD8, Tomato FF6347, Turquoise 40E0D0, Violet EE82EE, Wheat F5DEB3, "
    L"White FFFFFF, WhiteSmoke F5F5F5, Yellow FFFF00, YellowGreen 8BCD32";

struct Row {
    std::wstring name;
    COLORREF color;
};

std::vector<Row> DocumentedRows()
{
    std::vector<Row> rows;
    std::wstringstream in(kDocumentedColors);
    std::wstring item;
    while (std::getline(in, item, L',')) {
        std::wstringstream fields(item);
        std::wstring name, hex;
        fields >> name >> hex;
        const unsigned long rgb = std::wcstoul(hex.c_str(), nullptr, 16);
        rows.push_back({name, RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF)});
    }
    return rows;
}

std::wstring Cased(std::wstring s, bool upper)
{
    for (wchar_t& c : s)
        c = upper ? static_cast<wchar_t>(towupper(c)) : static_cast<wchar_t>(towlower(c));
    return s;
}

COLORREF Parse(const wchar_t* text) { return CXNamedColors(text).GetColor(); }

}  // namespace

TEST(NamedColors, EveryNameOfTheTableGivesItsColourInAnyCase)
{
    const std::vector<Row> rows = DocumentedRows();
    ASSERT_EQ(rows.size(), 140u);
    size_t index = 0;
    for (; g_namedColors[index].name; ++index) {
        ASSERT_LT(index, rows.size());
        EXPECT_EQ(g_namedColors[index].name, rows[index].name) << "row " << index;
    }
    EXPECT_EQ(index, rows.size());
    for (const Row& row : rows) {
        EXPECT_EQ(Parse(row.name.c_str()), row.color) << "name";
        EXPECT_EQ(Parse(Cased(row.name, false).c_str()), row.color) << "lower case";
        EXPECT_EQ(Parse(Cased(row.name, true).c_str()), row.color) << "upper case";
    }
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
    EXPECT_EQ(Parse(L"red"), 0x0000FFu);
    EXPECT_EQ(Parse(L"RED"), 0x0000FFu);
    EXPECT_EQ(Parse(L"Red "), 0u);  // the whole text is the name
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
