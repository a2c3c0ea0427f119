#include "capture/OptionsLogic.h"

#include <cwchar>

CString NormalizeFileName(const CString& name, const CString& extension)
{
    CString result = name;
    const int dot = result.ReverseFind(L'.');
    if (dot >= 0)
        result.Delete(dot, 9999);
    result += L".";
    result += extension;
    return result;
}

bool IsFileNameEditable(bool clipboard, bool save, bool upload) { return !(clipboard && !save && !upload); }

CRect EvenEdges(const CRect& rc)
{
    CRect even = rc;
    even.left -= even.left % 2;
    even.top -= even.top % 2;
    even.right += even.right % 2;
    even.bottom += even.bottom % 2;
    return even;
}

CString FormatWindowPos(const WINDOWPLACEMENT& wp)
{
    CString text;
    text.Format(L"%u,%u,%d,%d,%d,%d,%d,%d", wp.flags, wp.showCmd, static_cast<int>(wp.ptMinPosition.x),
                static_cast<int>(wp.ptMinPosition.y), static_cast<int>(wp.ptMaxPosition.x),
                static_cast<int>(wp.ptMaxPosition.y), static_cast<int>(wp.rcNormalPosition.left),
                static_cast<int>(wp.rcNormalPosition.top));
    return text;
}

bool ParseWindowPos(const CString& text, WINDOWPLACEMENT* pOut)
{
    if (text.IsEmpty())
        return false;
    unsigned flags = 0, showCmd = 0;
    int minX = 0, minY = 0, maxX = 0, maxY = 0, left = 0, top = 0;
    if (std::swscanf(text.GetString(), L"%u,%u,%d,%d,%d,%d,%d,%d", &flags, &showCmd, &minX, &minY, &maxX, &maxY,
                     &left, &top) < 8)
        return false;
    pOut->flags = flags;
    pOut->showCmd = showCmd;
    pOut->ptMinPosition = {minX, minY};
    pOut->ptMaxPosition = {maxX, maxY};
    pOut->rcNormalPosition.left = left;
    pOut->rcNormalPosition.top = top;
    return true;
}

bool StoredPlacementToRestore(const CString& text, const WINDOWPLACEMENT& current, const MonitorLayout& monitors,
                              WINDOWPLACEMENT* pOut)
{
    WINDOWPLACEMENT wp = current;
    if (!ParseWindowPos(text, &wp))
        return false;
    wp.length = sizeof(WINDOWPLACEMENT);
    // The dialog keeps its template size.
    wp.rcNormalPosition.right = wp.rcNormalPosition.left + (current.rcNormalPosition.right - current.rcNormalPosition.left);
    wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + (current.rcNormalPosition.bottom - current.rcNormalPosition.top);
    if (!IsOnAMonitor(monitors, CPoint(wp.rcNormalPosition.left, wp.rcNormalPosition.top)))
        return false;
    *pOut = wp;
    return true;
}
