// The About box: white, with the product's name and version, its makers'
// address and its web page as formatted text with live links.
#pragma once

#include "framework/CDialog.h"
#include "ui/XHTMLStatic.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override = default;

    void DoDataExchange(CDataExchange* pDX) override;
    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

    CXHTMLStatic m_text;

private:
    LRESULT OnCtlColor(WPARAM, LPARAM);
};
