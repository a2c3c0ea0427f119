// The options dialog's row of mark buttons: which tool, colour or width each
// button stands for, its tip, and the icons and tips made for it at run
// time (the icons are drawn with the marks' own drawing).
#pragma once

#include <vector>

#include "capture/Marks.h"

struct MarkButton {
    int id;
    MarkTool tool;      // None for a colour, a width, undo or redo
    COLORREF color;     // colour buttons
    int width;          // width buttons: the width at 96 DPI
    const wchar_t* tip;
};

extern const MarkButton kMarkToolButtons[8];
extern const MarkButton kMarkColorButtons[6];
extern const MarkButton kMarkWidthButtons[3];

const MarkButton* FindMarkButton(int id);
int ToolButtonId(MarkTool tool);           // 0 for MarkTool::None
int ColorButtonId(COLORREF color);         // red's for a colour not offered
int WidthButtonId(int widthAt96);          // 4's for a width not offered

constexpr COLORREF kDefaultMarkColor = RGB(255, 0, 0);
constexpr int kDefaultMarkWidth = 4;

// The icons and tips of one dialog's mark buttons; both go with the object.
class MarkButtonDecor {
public:
    MarkButtonDecor() = default;
    MarkButtonDecor(const MarkButtonDecor&) = delete;
    MarkButtonDecor& operator=(const MarkButtonDecor&) = delete;
    ~MarkButtonDecor() { Release(); }

    // Gives every mark button of dialog its icon and its tip.
    void Attach(HWND dialog);
    void Release();

private:
    std::vector<HICON> m_icons;
    HWND m_tips = nullptr;
};
