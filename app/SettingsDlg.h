// The "Options" dialog of the tray menu's "Settings...": default file name
// and its additions with a live sample, output directory and both hotkeys.
// Nothing reaches the settings before OK, except "Reset" (the sequence
// number) and a folder chosen with "...", which are written at once.
#pragma once

#include "framework/CDialog.h"
#include "framework/Controls.h"

class CSettingsDlg : public CDialog {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);
    ~CSettingsDlg() override = default;

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    // Shows the name the current choices give, without using up a number.
    void UpdateSample();
    void OnResetSeq();
    void OnBrowseDir();

    CEdit m_editDefaultName;
    CButton m_btnRandomize;
    CButton m_btnAppendSeq;
    CButton m_btnAppendDate;
    CButton m_btnAppendTime;
    CStatic m_staticSample;
    CEdit m_editDir;
    CButton m_btnFsShift;
    CButton m_btnFsAlt;
    CButton m_btnFsControl;
    CComboBox m_comboFsKey;
    CButton m_btnWinShift;
    CButton m_btnWinAlt;
    CButton m_btnWinControl;
    CComboBox m_comboWinKey;
    CEdit m_editUploadUrl;
    CEdit m_editUploadKey;  // shown as dots

protected:
    void OnBnClickedOk();
};
