#include "ui/AboutDlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

const MessageMap* CAboutDlg::Map()
{
    static const MessageMap map(CDialog::Map(), {
        OnMessage(WM_CTLCOLORDLG, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLORSTATIC, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLORBTN, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLOREDIT, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLORLISTBOX, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLORSCROLLBAR, &CAboutDlg::OnCtlColor),
        OnMessage(WM_CTLCOLORMSGBOX, &CAboutDlg::OnCtlColor),
    });
    return &map;
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ABOUT_TEXT, m_text);
}

// The whole box is white: the stock brush outlives every paint.
LRESULT CAboutDlg::OnCtlColor(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH)); }
