#include <gtest/gtest.h>

#include <vector>

#include "ui/HtmlMarkup.h"

namespace {

std::vector<MarkupItem> Items(const std::wstring& text)
{
    std::vector<MarkupItem> items;
    size_t pos = 0;
    MarkupItem item;
    while (NextMarkupItem(text, pos, item))
        items.push_back(item);
    return items;
}

const std::wstring kMark(1, kEntityMark);

}  // namespace

TEST(HtmlMarkup, EntitiesBecomeMarksWithTheirRowAndAmpersandGoesFirst)
{
    EXPECT_EQ(ReplaceEntities(L"&amp;"), kMark + L'\x02');
    EXPECT_EQ(ReplaceEntities(L"&trade;"), kMark + L'\x0E');
    EXPECT_EQ(ReplaceEntities(L"a&amp;lt;b"), L"a" + kMark + L"\x02lt;b");
    EXPECT_EQ(ReplaceEntities(L"&LT;&lt"), L"&LT;&lt");  // case and the semicolon count
    EXPECT_EQ(EntityCharacter(2), L'&');
    EXPECT_EQ(EntityCharacter(8), L'<');
    EXPECT_EQ(EntityCharacter(14), L'\x2122');
    EXPECT_EQ(EntityCharacter(15), L' ');
    EXPECT_EQ(EntityCharacter(0), L' ');
}

TEST(HtmlMarkup, TagsAreRecognisedExactlyAsWrittenInAnyCase)
{
    const auto items = Items(L"<b>x</B><br><BR/><br >y");
    ASSERT_EQ(items.size(), 8u);
    EXPECT_TRUE(items[0].isTag);
    EXPECT_EQ(items[0].tag, MarkupTag::Bold);
    EXPECT_EQ(items[1].text, L"x");
    EXPECT_EQ(items[2].tag, MarkupTag::EndBold);
    EXPECT_EQ(items[3].tag, MarkupTag::Break);
    // With a slash or a space before ">" it is no tag: "<" is text of its own.
    EXPECT_FALSE(items[4].isTag);
    EXPECT_EQ(items[4].text, L"<");
    EXPECT_EQ(items[5].text, L"BR/>");
    EXPECT_EQ(items[6].text, L"<");
    EXPECT_EQ(items[7].text, L"br >y");
}

TEST(HtmlMarkup, LinkTargetsKeepTheirQuotesAndNeedExactlyOneSpace)
{
    auto items = Items(L"<a href=\"http://x/\">t</a>");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].tag, MarkupTag::Link);
    EXPECT_EQ(items[0].text, L"\"http://x/\"");
    EXPECT_EQ(items[2].tag, MarkupTag::EndLink);
    items = Items(L"<A  HREF=x>");
    EXPECT_FALSE(items[0].isTag);
}

TEST(HtmlMarkup, FontAttributesNeedQuotedValuesAndFacesAreCutTo31Characters)
{
    FontAttributes a = ParseFontAttributes(L" color=\"red\" bgcolor=\"#00FF00\" face=\"Courier New\" size=\"+4\"");
    EXPECT_TRUE(a.hasColor && a.hasBgColor && a.hasFace && a.hasSize);
    EXPECT_EQ(a.color, RGB(255, 0, 0));
    EXPECT_EQ(a.bgColor, RGB(0, 255, 0));
    EXPECT_EQ(a.face, L"Courier New");
    EXPECT_EQ(a.size, 4);

    a = ParseFontAttributes(L" face=\"" + std::wstring(40, L'F') + L"\"");
    EXPECT_EQ(a.face, std::wstring(31, L'F'));

    // No closing quote: not applied, and the scan goes on to its end.
    a = ParseFontAttributes(L" color=\"red face");
    EXPECT_FALSE(a.hasColor);
    EXPECT_FALSE(a.hasFace);
    // A value runs to the next quote, wherever that is.
    a = ParseFontAttributes(L" color=\"red size=\"3\"");
    EXPECT_TRUE(a.hasColor);
    EXPECT_EQ(a.color, 0u);
    EXPECT_FALSE(a.hasSize);
    // No opening quote at all ends the scan.
    a = ParseFontAttributes(L" size=3 color=red");
    EXPECT_FALSE(a.hasSize);
    EXPECT_FALSE(a.hasColor);
    // Other words are skipped; a size is read like a number at the start.
    a = ParseFontAttributes(L" style=\"x\" SIZE=\"-2px\"");
    EXPECT_EQ(a.size, -2);
    a = ParseFontAttributes(L" size=\"99999999999999999999\"");
    EXPECT_EQ(a.size, kMaxFontSizeStep);
}

TEST(HtmlMarkup, RuleSizeIsScannedOverTheRestOfTheText)
{
    auto items = Items(L"<hr size=4>a");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].tag, MarkupTag::Rule);
    EXPECT_EQ(items[0].ruleSize, 4);
    EXPECT_EQ(items[1].text, L"a");
    items = Items(L"<hr>");
    EXPECT_EQ(items[0].ruleSize, -1);
    // The scan runs past the tag's own ">".
    items = Items(L"<hr> then size=7>");
    EXPECT_EQ(items[0].ruleSize, 7);
    EXPECT_EQ(ScanRuleSize(L" SIZE = 12 >", 0), 12);
    EXPECT_EQ(ScanRuleSize(L" size=-5>", 0), 0);
    EXPECT_EQ(ScanRuleSize(L" size=123456789012>", 0), kMaxRuleSize);
}

TEST(HtmlMarkup, UnfinishedTagsAreTextAndNothingPastTheEndIsRead)
{
    for (const wchar_t* text : {L"<FONT color=\"red\"", L"<HR size=3", L"<A HREF=x", L"<", L"<B", L"</"}) {
        const auto items = Items(text);
        ASSERT_FALSE(items.empty()) << text;
        EXPECT_FALSE(items[0].isTag) << text;
        EXPECT_EQ(items[0].text, L"<") << text;
        std::wstring all;
        for (const MarkupItem& item : items)
            all += item.text;
        EXPECT_EQ(all, text);
    }
}
