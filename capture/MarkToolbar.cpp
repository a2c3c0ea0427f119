#include "capture/MarkToolbar.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "capture/MarkPainter.h"
#include "framework/Gdi.h"
#include "res/resource.h"

const MarkButton kMarkToolButtons[8] = {
    {IDC_TOOL_ARROW, MarkTool::Arrow, 0, 0, L"Arrow (Alt+A)"},
    {IDC_TOOL_RECTANGLE, MarkTool::Rectangle, 0, 0, L"Rectangle (Alt+R)"},
    {IDC_TOOL_PEN, MarkTool::Pen, 0, 0, L"Pen (Alt+P)"},
    {IDC_TOOL_MARKER, MarkTool::Marker, 0, 0, L"Marker (Alt+K)"},
    {IDC_TOOL_TEXT, MarkTool::Text, 0, 0, L"Text (Alt+T)"},
    {IDC_TOOL_STEP, MarkTool::Step, 0, 0, L"Step number (Alt+S)"},
    {IDC_TOOL_PIXELATE, MarkTool::Pixelate, 0, 0, L"Pixelate (Redact hides text completely) (Alt+X)"},
    {IDC_TOOL_REDACT, MarkTool::Redact, 0, 0, L"Redact (Alt+D)"},
};

const MarkButton kMarkColorButtons[6] = {
    {IDC_COLOR_RED, MarkTool::None, RGB(255, 0, 0), 0, L"Red (Alt+E)"},
    {IDC_COLOR_YELLOW, MarkTool::None, RGB(255, 255, 0), 0, L"Yellow (Alt+Y)"},
    {IDC_COLOR_GREEN, MarkTool::None, RGB(0, 192, 0), 0, L"Green (Alt+G)"},
    {IDC_COLOR_BLUE, MarkTool::None, RGB(0, 0, 255), 0, L"Blue (Alt+B)"},
    {IDC_COLOR_BLACK, MarkTool::None, RGB(0, 0, 0), 0, L"Black (Alt+L)"},
    {IDC_COLOR_WHITE, MarkTool::None, RGB(255, 255, 255), 0, L"White (Alt+W)"},
};

const MarkButton kMarkWidthButtons[3] = {
    {IDC_WIDTH_2, MarkTool::None, 0, 2, L"Width 2 pixels (Alt+2)"},
    {IDC_WIDTH_4, MarkTool::None, 0, 4, L"Width 4 pixels (Alt+4)"},
    {IDC_WIDTH_8, MarkTool::None, 0, 8, L"Width 8 pixels (Alt+8)"},
};

namespace {

const MarkButton kUndoRedoButtons[2] = {
    {IDC_UNDO, MarkTool::None, 0, 0, L"Undo (Ctrl+Z, Alt+U)"},
    {IDC_REDO, MarkTool::None, 0, 0, L"Redo (Ctrl+Y, Alt+O)"},
};

template <typename Visit>
void ForEachButton(Visit visit)
{
    for (const auto& [first, last] : {std::pair(std::begin(kMarkToolButtons), std::end(kMarkToolButtons)),
                                      std::pair(std::begin(kMarkColorButtons), std::end(kMarkColorButtons)),
                                      std::pair(std::begin(kMarkWidthButtons), std::end(kMarkWidthButtons)),
                                      std::pair(std::begin(kUndoRedoButtons), std::end(kUndoRedoButtons))})
        for (const MarkButton* b = first; b != last; ++b)
            visit(*b);
}

// A 16 x 16 picture (scaled to the icon size) of what the button does.
std::vector<Mark> IconMarks(const MarkButton& b, int s)
{
    auto at = [s](int x, int y) { return POINT{x * s / 16, y * s / 16}; };
    auto box = [s](int l, int t, int r, int b2) { return CRect(l * s / 16, t * s / 16, r * s / 16, b2 * s / 16); };
    const COLORREF ink = RGB(0, 0, 0);
    Mark m;
    m.color = ink;
    m.width = std::max(1, s / 8);
    switch (b.tool) {
    case MarkTool::Arrow:
        m.tool = MarkTool::Arrow;
        m.width = std::max(1, s / 16);
        m.points = {at(2, 14), at(14, 2)};
        return {m};
    case MarkTool::Rectangle:
        m.tool = MarkTool::Rectangle;
        m.rect = box(2, 3, 14, 13);
        return {m};
    case MarkTool::Pen:
        m.tool = MarkTool::Pen;
        m.width = std::max(1, s / 16);
        m.points = {at(2, 12), at(6, 4), at(10, 12), at(14, 4)};
        return {m};
    case MarkTool::Marker:
        m.tool = MarkTool::Pen;
        m.color = RGB(255, 220, 0);
        m.width = std::max(3, s * 5 / 16);
        m.points = {at(3, 8), at(13, 8)};
        return {m};
    case MarkTool::Text:
        m.tool = MarkTool::Text;
        m.text = L"A";
        m.size = s * 14 / 16;
        m.points = {at(4, 0)};
        return {m};
    case MarkTool::Step:
        m.tool = MarkTool::Step;
        m.color = RGB(255, 0, 0);
        m.step = 1;
        m.size = s - 1;
        m.points = {at(8, 8)};
        return {m};
    case MarkTool::Pixelate: {
        std::vector<Mark> blocks;
        for (int i = 0; i < 16; ++i) {
            Mark r;
            r.tool = MarkTool::Redact;
            const int g = (i * 7 % 5) * 40 + 60;
            r.color = RGB(g, g, g);
            r.rect = box(i % 4 * 4, i / 4 * 4, i % 4 * 4 + 4, i / 4 * 4 + 4);
            blocks.push_back(r);
        }
        return blocks;
    }
    case MarkTool::Redact:
        m.tool = MarkTool::Redact;
        m.rect = box(2, 4, 14, 12);
        return {m};
    case MarkTool::None:
        break;
    }
    if (b.width) {
        m.tool = MarkTool::Redact;
        const int h = std::max(1, b.width * s / 16 / 2 + b.width / 4);
        m.rect = CRect(s / 8, (s - h) / 2, s - s / 8, (s - h) / 2 + h);
        return {m};
    }
    if (b.id == IDC_UNDO || b.id == IDC_REDO) {
        m.tool = MarkTool::Arrow;
        m.width = std::max(1, s / 16);
        m.points = b.id == IDC_UNDO ? std::vector<POINT>{at(14, 8), at(2, 8)} : std::vector<POINT>{at(2, 8), at(14, 8)};
        return {m};
    }
    // A colour: a swatch with a thin dark edge, so white shows too.
    Mark edge;
    edge.tool = MarkTool::Redact;
    edge.color = RGB(64, 64, 64);
    edge.rect = box(1, 1, 15, 15);
    m.tool = MarkTool::Redact;
    m.color = b.color;
    m.rect = box(2, 2, 14, 14);
    return {edge, m};
}

HICON CreateButtonIcon(const MarkButton& b, int s)
{
    // Drawn on a key colour that becomes the transparent part of the mask.
    constexpr DWORD kKey = 0xFF00FF;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), s, -s, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    CBitmap color;
    color.Attach(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    CDC dc;
    if (!color.GetSafeHandle() || !dc.CreateCompatibleDC(nullptr))
        return nullptr;
    auto* p = static_cast<DWORD*>(bits);
    std::fill(p, p + s * s, kKey);
    {
        CSelection select(dc, color);
        DrawMarks(dc, IconMarks(b, s));
        ::GdiFlush();
    }
    const int stride = ((s + 15) / 16) * 2;
    std::vector<BYTE> maskBits(static_cast<size_t>(stride * s), 0);
    for (int y = 0; y < s; ++y)
        for (int x = 0; x < s; ++x)
            if ((p[y * s + x] & 0xFFFFFF) == kKey) {
                maskBits[static_cast<size_t>(y * stride + x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
                p[y * s + x] = 0;
            }
    CBitmap mask;
    mask.Attach(::CreateBitmap(s, s, 1, 1, maskBits.data()));
    ICONINFO info{TRUE, 0, 0, mask, color};
    return ::CreateIconIndirect(&info);
}

}  // namespace

const MarkButton* FindMarkButton(int id)
{
    const MarkButton* found = nullptr;
    ForEachButton([&](const MarkButton& b) {
        if (b.id == id)
            found = &b;
    });
    return found;
}

int ToolButtonId(MarkTool tool)
{
    for (const MarkButton& b : kMarkToolButtons)
        if (b.tool == tool)
            return b.id;
    return 0;
}

int ColorButtonId(COLORREF color)
{
    for (const MarkButton& b : kMarkColorButtons)
        if (b.color == color)
            return b.id;
    return IDC_COLOR_RED;
}

int WidthButtonId(int widthAt96)
{
    for (const MarkButton& b : kMarkWidthButtons)
        if (b.width == widthAt96)
            return b.id;
    return IDC_WIDTH_4;
}

void MarkButtonDecor::Attach(HWND dialog)
{
    Release();
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    m_tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                               0, dialog, nullptr, nullptr, nullptr);
    ForEachButton([&](const MarkButton& b) {
        const HWND button = ::GetDlgItem(dialog, b.id);
        if (!button)
            return;
        if (const HICON icon = CreateButtonIcon(b, size)) {
            m_icons.push_back(icon);
            ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        }
        if (m_tips) {
            TOOLINFOW ti{};
            ti.cbSize = sizeof(ti);
            ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            ti.hwnd = dialog;
            ti.uId = reinterpret_cast<UINT_PTR>(button);
            ti.lpszText = const_cast<wchar_t*>(b.tip);
            ::SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        }
    });
}

void MarkButtonDecor::Release()
{
    if (m_tips)
        ::DestroyWindow(m_tips);
    m_tips = nullptr;
    for (HICON icon : m_icons)
        ::DestroyIcon(icon);
    m_icons.clear();
}
