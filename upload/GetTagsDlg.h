// The dialog after a successful upload: the image's address and a forum
// image tag made from it, each with a button that copies it; and, when the
// host gave one, the deletion address with "Delete now" and its own Copy.
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
    CEdit m_editDelete;
    CString m_strUrl;          // set by the opener before the dialog runs
    CString m_strDeletionUrl;  // likewise; empty hides the third row

private:
    void OnCopyUrl();
    void OnCopyCode();
    void OnCopyDeletion();
    void OnDeleteNow();
    // Without a deletion address the dialog keeps its two-row layout.
    void HideDeletionRow();
};
