// The small HTML subset of the About box's text, read without any window:
// character entities, tags and their attributes, and the text tokens between
// them. Painting (HtmlLayout) applies what this reads.
#pragma once

#include <windows.h>

#include <string>

// Entities become U+0001 followed by a code (the entity's row + 2), so that
// "&amp;lt;" shows as "&lt;" and an entity never ends a word.
constexpr wchar_t kEntityMark = L'\x0001';
std::wstring ReplaceEntities(const std::wstring& text);
// The character an entity code stands for; a code of no entity gives a space.
wchar_t EntityCharacter(wchar_t code);

enum class MarkupTag {
    Bold, EndBold, Italic, EndItalic, Underline, EndUnderline, Strike, EndStrike,
    Big, EndBig, Small, EndSmall, Sub, EndSub, Sup, EndSup,
    Font, EndFont, Code, EndCode, Link, EndLink, Break, Rule,
};

// One piece of markup: a tag, or a token of text to draw.
struct MarkupItem {
    bool isTag = false;
    MarkupTag tag = MarkupTag::Bold;
    // Text: the token. Font: the attribute text. Link: the target, quotes
    // included.
    std::wstring text;
    // Rule: the thickness its SIZE attribute sets, or -1 for none.
    int ruleSize = -1;
};

// Reads the item that starts at pos and moves pos past it; false at the end.
// A tag that needs a closing ">" and has none is no tag: its "<" is drawn as
// text, so every call consumes at least one character and nothing past the
// end of the text is read.
bool NextMarkupItem(const std::wstring& text, size_t& pos, MarkupItem& item);

// The values a FONT tag's attributes set; a value is applied only when both
// its quotes are there.
struct FontAttributes {
    bool hasColor = false, hasBgColor = false, hasFace = false, hasSize = false;
    COLORREF color = 0, bgColor = 0;
    std::wstring face;  // cut to the 31 characters a face name holds
    int size = 0;       // limited to +-kMaxFontSizeStep
};
constexpr int kMaxFontSizeStep = 1000;
FontAttributes ParseFontAttributes(const std::wstring& attributes);

// The thickness an "<HR" sets, scanned from just after "<HR" over the rest of
// the text; -1 when no SIZE word is found. Kept between 0 and kMaxRuleSize.
constexpr int kMaxRuleSize = 1000;
int ScanRuleSize(const std::wstring& text, size_t from);
