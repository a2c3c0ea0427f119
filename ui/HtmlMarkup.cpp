#include "ui/HtmlMarkup.h"

#include "ui/NamedColors.h"

namespace {

struct Entity {
    const wchar_t* name;
    wchar_t character;
};

// Replaced in this order; "&amp;" goes first so "&amp;lt;" stays visible.
const Entity g_entities[] = {
    {L"&amp;", L'&'},       {L"&bull;", L'\x2022'}, {L"&copy;", L'\x00A9'}, {L"&euro;", L'\x20AC'},
    {L"&gt;", L'>'},        {L"&iquest;", L'\x00BF'}, {L"&lt;", L'<'},     {L"&nbsp;", L' '},
    {L"&para;", L'\x00B6'}, {L"&pound;", L'\x00A3'}, {L"&quot;", L'"'},    {L"&reg;", L'\x00AE'},
    {L"&trade;", L'\x2122'},
};
constexpr int kEntityCount = static_cast<int>(sizeof(g_entities) / sizeof(g_entities[0]));

struct TagName {
    const wchar_t* text;
    MarkupTag tag;
};

// Compared without regard to case, exactly as written: "<BR/>" is no tag.
const TagName g_tags[] = {
    {L"<B>", MarkupTag::Bold},          {L"</B>", MarkupTag::EndBold},
    {L"<I>", MarkupTag::Italic},        {L"</I>", MarkupTag::EndItalic},
    {L"<U>", MarkupTag::Underline},     {L"</U>", MarkupTag::EndUnderline},
    {L"<STRIKE>", MarkupTag::Strike},   {L"</STRIKE>", MarkupTag::EndStrike},
    {L"<BIG>", MarkupTag::Big},         {L"</BIG>", MarkupTag::EndBig},
    {L"<SMALL>", MarkupTag::Small},     {L"</SMALL>", MarkupTag::EndSmall},
    {L"<SUB>", MarkupTag::Sub},         {L"</SUB>", MarkupTag::EndSub},
    {L"<SUP>", MarkupTag::Sup},         {L"</SUP>", MarkupTag::EndSup},
    {L"<FONT", MarkupTag::Font},        {L"</FONT>", MarkupTag::EndFont},
    {L"<CODE>", MarkupTag::Code},       {L"</CODE>", MarkupTag::EndCode},
    {L"<A HREF=", MarkupTag::Link},     {L"</A>", MarkupTag::EndLink},
    {L"<BR>", MarkupTag::Break},        {L"<HR", MarkupTag::Rule},
};

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Whether text at pos begins with the (upper-case) word, without regard to case.
bool StartsWithNoCase(const std::wstring& text, size_t pos, const wchar_t* word)
{
    for (; *word; ++word, ++pos)
        if (pos >= text.size() || Upper(text[pos]) != *word)
            return false;
    return true;
}

size_t Length(const wchar_t* s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

// A decimal number the way the C runtime's atoi reads one, held within
// -limit..limit so that no later sum can overflow.
int LeadingDecimal(const std::wstring& text, size_t pos, size_t end, int limit)
{
    while (pos < end && (text[pos] == L' ' || (text[pos] >= L'\t' && text[pos] <= L'\r')))
        ++pos;
    bool negative = false;
    if (pos < end && (text[pos] == L'+' || text[pos] == L'-'))
        negative = text[pos++] == L'-';
    long long value = 0;
    for (; pos < end && text[pos] >= L'0' && text[pos] <= L'9'; ++pos)
        if (value <= limit)
            value = value * 10 + (text[pos] - L'0');
    if (value > limit)
        value = limit;
    return static_cast<int>(negative ? -value : value);
}

size_t NextSpace(const std::wstring& text, size_t from)
{
    const size_t space = text.find(L' ', from);
    return space == std::wstring::npos ? text.size() : space;
}

}  // namespace

std::wstring ReplaceEntities(const std::wstring& text)
{
    std::wstring result = text;
    for (int row = 0; row < kEntityCount; ++row) {
        const std::wstring name = g_entities[row].name;
        const wchar_t sequence[] = {kEntityMark, static_cast<wchar_t>(row + 2), L'\0'};
        for (size_t at = result.find(name); at != std::wstring::npos; at = result.find(name, at + 2))
            result.replace(at, name.size(), sequence);
    }
    return result;
}

wchar_t EntityCharacter(wchar_t code)
{
    const int row = static_cast<int>(code) - 2;
    return row >= 0 && row < kEntityCount ? g_entities[row].character : L' ';
}

bool NextMarkupItem(const std::wstring& text, size_t& pos, MarkupItem& item)
{
    if (pos >= text.size())
        return false;
    item = MarkupItem{};
    if (text[pos] != L'<') {
        const size_t lt = text.find(L'<', pos);
        const size_t end = lt == std::wstring::npos ? text.size() : lt;
        item.text = text.substr(pos, end - pos);
        pos = end;
        return true;
    }
    for (const TagName& name : g_tags) {
        if (!StartsWithNoCase(text, pos, name.text))
            continue;
        const size_t nameEnd = pos + Length(name.text);
        size_t end = nameEnd;  // past the tag's ">"
        if (text[nameEnd - 1] != L'>') {
            const size_t gt = text.find(L'>', nameEnd);
            if (gt == std::wstring::npos)
                break;  // unfinished: the "<" is text
            end = gt + 1;
            item.text = text.substr(nameEnd, gt - nameEnd);
        }
        item.isTag = true;
        item.tag = name.tag;
        if (name.tag == MarkupTag::Rule) {
            item.text.clear();
            item.ruleSize = ScanRuleSize(text, nameEnd);
        }
        pos = end;
        return true;
    }
    item.text = L"<";
    ++pos;
    return true;
}

FontAttributes ParseFontAttributes(const std::wstring& attributes)
{
    FontAttributes result;
    const wchar_t* const names[] = {L"COLOR", L"BGCOLOR", L"FACE", L"SIZE"};
    size_t i = 0;
    while (i < attributes.size()) {
        if (attributes[i] == L' ') {
            ++i;
            continue;
        }
        int which = -1;
        for (int k = 0; k < 4 && which < 0; ++k)
            if (StartsWithNoCase(attributes, i, names[k]))
                which = k;
        if (which < 0) {
            i = NextSpace(attributes, i);
            continue;
        }
        const size_t open = attributes.find(L'"', i);
        if (open == std::wstring::npos)
            break;  // no value can follow
        const size_t close = attributes.find(L'"', open + 1);
        if (close == std::wstring::npos) {
            i = NextSpace(attributes, i);  // not applied; the next words still count
            continue;
        }
        const std::wstring value = attributes.substr(open + 1, close - open - 1);
        switch (which) {
        case 0:
            result.hasColor = true;
            result.color = CXNamedColors(value.c_str()).GetColor();
            break;
        case 1:
            result.hasBgColor = true;
            result.bgColor = CXNamedColors(value.c_str()).GetColor();
            break;
        case 2:
            result.hasFace = true;
            result.face = value.substr(0, LF_FACESIZE - 1);
            break;
        default:
            result.hasSize = true;
            result.size = LeadingDecimal(value, 0, value.size(), kMaxFontSizeStep);
            break;
        }
        i = close + 1;
    }
    return result;
}

int ScanRuleSize(const std::wstring& text, size_t from)
{
    size_t i = from;
    while (i < text.size()) {
        if (text[i] == L' ') {
            ++i;
            continue;
        }
        if (StartsWithNoCase(text, i, L"SIZE")) {
            const size_t equals = text.find(L'=', i + 4);
            if (equals == std::wstring::npos)
                return -1;
            const size_t gt = text.find(L'>', equals);
            const int size = LeadingDecimal(text, equals + 1, gt == std::wstring::npos ? text.size() : gt, kMaxRuleSize);
            return size < 0 ? 0 : size;
        }
        i = NextSpace(text, i);
    }
    return -1;
}
