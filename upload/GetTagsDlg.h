// The dialog after a successful upload: the image's address and a forum
// image tag made from it, each with a button that copies it.
#pragma once

#include "framework/CDialog.h"
#include "framework/Controls.h"

class CGetTagsDlg : public CDialog {
public:
    CGetTagsDlg();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

    CEdit m_editUrl;
    CEdit m_editCode;
    CString m_strUrl;  // set by the opener before the dialog runs

private:
    void OnCopyUrl();
    void OnCopyCode();
};
