#include <gtest/gtest.h>

#include <random>

#include "RecordingCanvas.h"
#include "ui/HtmlMarkup.h"

namespace {

constexpr COLORREF kText = RGB(1, 2, 3);
constexpr COLORREF kBack = RGB(250, 250, 250);
constexpr COLORREF kBlue = RGB(0, 0, 255);

struct Paint {
    RecordingCanvas canvas;
    std::vector<HtmlLink> links;
};

Paint Lay(const std::wstring& markup, HtmlDrawState& state, RECT client = {0, 0, 300, 200})
{
    Paint paint;
    paint.links = LayOutHtml(paint.canvas, markup, client, TestFont(), kText, kBack, state);
    return paint;
}

Paint Lay(const std::wstring& markup, RECT client = {0, 0, 300, 200})
{
    HtmlDrawState state;
    return Lay(markup, state, client);
}

std::wstring AllText(const Paint& paint)
{
    std::wstring all;
    for (const DrawnText& t : paint.canvas.texts)
        all += t.text;
    return all;
}

bool IsBold(const DrawnText* t) { return t && t->font.lfWeight == FW_BOLD; }

}  // namespace

TEST(HtmlLayout, EntitiesShowTheirCharactersAndEscapedOnesStayVisible)
{
    EXPECT_EQ(AllText(Lay(L"a&amp;lt;b")), L"a&lt;b");
    EXPECT_EQ(AllText(Lay(L"&copy;&euro;&lt;&gt;&quot;&bull;")), L"\x00A9\x20AC<>\"\x2022");
    // A mark cut off at the end of the text shows as a space.
    EXPECT_EQ(AllText(Lay(std::wstring(L"x") + kEntityMark)), L"x ");
}

TEST(HtmlLayout, TheBackgroundIsFilledFirstAndTextUsesTheColours)
{
    const Paint paint = Lay(L"plain");
    ASSERT_EQ(paint.canvas.fills.size(), 1u);
    EXPECT_EQ(paint.canvas.fills[0].color, kBack);
    const DrawnText& t = paint.canvas.At(L"plain");
    EXPECT_EQ(t.color, kText);
    EXPECT_EQ(t.background, kBack);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
}

TEST(HtmlLayout, BoldNestsAndAnUnbalancedCloseStaysAtZero)
{
    HtmlDrawState state;
    Paint paint = Lay(L"<b>1<b>2</b>3</b>4", state);
    EXPECT_TRUE(IsBold(paint.canvas.Find(L"1")));
    EXPECT_TRUE(IsBold(paint.canvas.Find(L"2")));
    EXPECT_TRUE(IsBold(paint.canvas.Find(L"3")));
    EXPECT_FALSE(IsBold(paint.canvas.Find(L"4")));
    EXPECT_EQ(state.bold, 0);

    paint = Lay(L"</B>x<b>y</b>", state);
    EXPECT_FALSE(IsBold(paint.canvas.Find(L"x")));
    EXPECT_TRUE(IsBold(paint.canvas.Find(L"y")));
    EXPECT_EQ(state.bold, 0);

    // A missing close carries into the next paint.
    Lay(L"<b>x", state);
    EXPECT_EQ(state.bold, 1);
    EXPECT_TRUE(IsBold(Lay(L"y", state).canvas.Find(L"y")));
}

TEST(HtmlLayout, LinksAreBlueUnderlinedAndRecordedWithTheirQuotedTarget)
{
    const Paint paint = Lay(L"go <a href=\"http://x/\">there</a> now");
    const DrawnText& link = paint.canvas.At(L"there");
    EXPECT_EQ(link.color, kBlue);
    EXPECT_TRUE(link.font.lfUnderline);
    EXPECT_FALSE(paint.canvas.At(L" now").font.lfUnderline);
    ASSERT_EQ(paint.links.size(), 1u);
    EXPECT_EQ(paint.links[0].target, L"\"http://x/\"");
    // Where the link text was drawn: after "go ", one line high.
    const RECT expected{link.x, link.y, link.x + 5 * 6, link.y + 13};
    EXPECT_TRUE(::EqualRect(&paint.links[0].rect, &expected));
}

TEST(HtmlLayout, ALinkInsideAColouredFontIsStillBlue)
{
    const Paint paint = Lay(L"<font color=\"red\"><a href=x>l</a>t</font>u");
    EXPECT_EQ(paint.canvas.At(L"l").color, kBlue);
    EXPECT_EQ(paint.canvas.At(L"t").color, RGB(255, 0, 0));
    EXPECT_EQ(paint.canvas.At(L"u").color, kText);
}

TEST(HtmlLayout, ABreakAtTheStartLeavesAnEmptyFirstLine)
{
    const Paint paint = Lay(L"<BR>x");
    EXPECT_EQ(paint.canvas.At(L"x").y, 13);
    EXPECT_EQ(paint.canvas.At(L"x").x, 0);
}

TEST(HtmlLayout, ALessThanThatStartsNoTagIsDrawn)
{
    EXPECT_EQ(AllText(Lay(L"x<y")), L"x<y");
    EXPECT_EQ(AllText(Lay(L"a <BR/> b")), L"a <BR/> b");
}

TEST(HtmlLayout, RulesTakeTheirThicknessBelowTheLineAndKeepIt)
{
    HtmlDrawState state;
    Paint paint = Lay(L"a<hr size=4>b<hr>c", state);
    ASSERT_EQ(paint.canvas.rules.size(), 2u);
    EXPECT_EQ(paint.canvas.rules[0].thickness, 4);
    EXPECT_EQ(paint.canvas.rules[0].y, 13);  // under the line of "a"
    EXPECT_EQ(paint.canvas.rules[0].left, 0);
    EXPECT_EQ(paint.canvas.rules[0].right, 300);
    EXPECT_EQ(paint.canvas.At(L"b").y, 17);
    EXPECT_EQ(paint.canvas.rules[1].thickness, 4);
    EXPECT_EQ(state.pendingRules, 0);
    // Later paints keep the thickness.
    paint = Lay(L"<hr>", state);
    ASSERT_EQ(paint.canvas.rules.size(), 1u);
    EXPECT_EQ(paint.canvas.rules[0].thickness, 4);
}

TEST(HtmlLayout, AControlTooSmallForOneLineDrawsNothing)
{
    const Paint paint = Lay(L"some text<br>more", {0, 0, 300, 5});
    EXPECT_TRUE(paint.canvas.texts.empty());
}

TEST(HtmlLayout, WordsWrapAndNonBreakingSpacesKeepWordsTogether)
{
    // 70 pixels: "aaaa bbbb " fits (60), one more word does not.
    Paint paint = Lay(L"aaaa bbbb cccc", {0, 0, 70, 200});
    ASSERT_EQ(paint.canvas.texts.size(), 2u);
    EXPECT_EQ(paint.canvas.texts[0].text, L"aaaa bbbb ");
    EXPECT_EQ(paint.canvas.texts[1].text, L"cccc");
    EXPECT_EQ(paint.canvas.texts[1].y, 13);

    paint = Lay(L"aaaa bbbb&nbsp;cccc", {0, 0, 70, 200});
    ASSERT_EQ(paint.canvas.texts.size(), 2u);
    EXPECT_EQ(paint.canvas.texts[0].text, L"aaaa ");
    EXPECT_EQ(paint.canvas.texts[1].text, L"bbbb cccc");
}

TEST(HtmlLayout, AWordWiderThanTheLineStandsAloneAndTextBelowTheBottomIsNotDrawn)
{
    Paint paint = Lay(L"a wwwwwwwwww b", {0, 0, 30, 200});
    ASSERT_GE(paint.canvas.texts.size(), 3u);
    EXPECT_EQ(paint.canvas.texts[1].text, L"wwwwwwwwww ");
    EXPECT_EQ(paint.canvas.texts[1].x, 0);

    paint = Lay(L"one<br>two<br>three", {0, 0, 300, 30});
    EXPECT_TRUE(paint.canvas.Find(L"one"));
    EXPECT_TRUE(paint.canvas.Find(L"two"));
    EXPECT_FALSE(paint.canvas.Find(L"three"));
}

TEST(HtmlLayout, ATokenStartingAlongALineWrapsItsFirstWord)
{
    // "abc " ends at 24; the bold word (49 pixels) cannot follow it in 60.
    const Paint paint = Lay(L"abc <b>defghij</b>", {0, 0, 60, 200});
    EXPECT_EQ(paint.canvas.At(L"defghij").x, 0);
    EXPECT_EQ(paint.canvas.At(L"defghij").y, 13);
}

TEST(HtmlLayout, SubscriptAndSuperscriptMoveByHalfTheAscent)
{
    const Paint paint = Lay(L"a<sub>b</sub><sup>c</sup><sub><sup>d</sup></sub>");
    const int half = 9 / 2;  // the test font's ascent is 9
    EXPECT_EQ(paint.canvas.At(L"a").y, 0);
    EXPECT_EQ(paint.canvas.At(L"b").y, half);
    EXPECT_EQ(paint.canvas.At(L"c").y, -half);
    EXPECT_EQ(paint.canvas.At(L"d").y, 0);
    EXPECT_EQ(paint.canvas.At(L"c").x, 12);
}

TEST(HtmlLayout, FontSizeFaceAndCodeChangeTheFontUntilTheirClose)
{
    const Paint paint =
        Lay(L"<font size=\"6\" face=\"Arial\">big</font><big>b</big><small>s</small><code>c</code>n");
    EXPECT_EQ(paint.canvas.At(L"big").font.lfHeight, -19);
    EXPECT_STREQ(paint.canvas.At(L"big").font.lfFaceName, L"Arial");
    EXPECT_EQ(paint.canvas.At(L"b").font.lfHeight, -14);
    EXPECT_EQ(paint.canvas.At(L"s").font.lfHeight, -12);
    EXPECT_STREQ(paint.canvas.At(L"c").font.lfFaceName, L"Courier New");
    EXPECT_STREQ(paint.canvas.At(L"n").font.lfFaceName, L"Tahoma");
    EXPECT_EQ(paint.canvas.At(L"n").font.lfHeight, -13);
    // After a sized font, its descent (19 - 19 * 3 / 4 = 5) moves the pen down.
    EXPECT_EQ(paint.canvas.At(L"b").y, 5);
}

TEST(HtmlLayout, MalformedMarkupEndsAndDrawsWhatItCan)
{
    const std::wstring longFace = L"<font face=\"" + std::wstring(64, L'X') + L"\">x</font>";
    const Paint face = Lay(longFace);
    EXPECT_EQ(std::wstring(face.canvas.At(L"x").font.lfFaceName), std::wstring(31, L'X'));
    EXPECT_EQ(AllText(Lay(L"a<FONT color=\"red\"")), L"a<FONT color=\"red\"");
    EXPECT_EQ(AllText(Lay(L"a<HR size=9")), L"a<HR size=9");
    EXPECT_EQ(AllText(Lay(L"a<A HREF=x")), L"a<A HREF=x");
    EXPECT_EQ(AllText(Lay(L"abc\r")), L"abc");
    HtmlDrawState state;
    Lay(std::wstring(2000, L'<') + L"</b></i></u></sub></sup>" + L"<b><b><b><sub><sup><a href=y>z", state);
    EXPECT_EQ(state.bold, 3);
    EXPECT_TRUE(state.inLink);
}

// Random markup made of tags, half-tags, entities, marks and text: every
// paint must end, decode every entity and keep its counters sane.
TEST(HtmlLayoutFuzz, RandomMarkupAlwaysEndsWithSaneState)
{
    static const wchar_t* const pieces[] = {
        L"<b>", L"</b>", L"<i>", L"</i>", L"<u>", L"</u>", L"<strike>", L"</strike>", L"<big>", L"</big>",
        L"<small>", L"</small>", L"<sub>", L"</sub>", L"<sup>", L"</sup>", L"<font", L" color=\"", L" size=\"",
        L" face=\"", L" bgcolor=\"", L"\"", L">", L"</font>", L"<code>", L"</code>", L"<a href=", L"</a>", L"<br>",
        L"<hr", L" size=", L"=", L"<", L"&amp;", L"&lt;", L"&nbsp;", L"&", L";", L"\r", L"\n", L"\r\n", L" ",
        L"  ", L"word", L"W", L"123", L"-99999999999", L"#FF00FF", L"red", L"\x0001", L"\x0001\x0005", L"\x00E9"};
    constexpr size_t kPieces = sizeof(pieces) / sizeof(pieces[0]);
    std::mt19937 random(20261209);
    HtmlDrawState state;
    for (int run = 0; run < 20000; ++run) {
        std::wstring markup;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i)
            markup += pieces[random() % kPieces];
        const RECT client{0, 0, static_cast<LONG>(random() % 400), static_cast<LONG>(random() % 120)};
        const Paint paint = Lay(markup, state, client);
        for (const DrawnText& t : paint.canvas.texts)
            ASSERT_EQ(t.text.find(kEntityMark), std::wstring::npos) << "run " << run;
        for (const HtmlLink& link : paint.links)
            ASSERT_LE(link.rect.left, link.rect.right) << "run " << run;
        ASSERT_GE(state.bold, 0);
        ASSERT_GE(state.sub, 0);
        ASSERT_EQ(state.pendingRules, 0) << "run " << run;
        ASSERT_GE(state.ruleThickness, 0);
        ASSERT_LE(state.ruleThickness, kMaxRuleSize);
        if (run % 1000 == 999)
            state = HtmlDrawState{};  // now and then from a clean start
    }
}
