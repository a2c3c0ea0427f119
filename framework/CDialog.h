// Dialogs from dialog templates, modal (with their own nested message loop)
// or modeless, with controls bound to members through DoDataExchange.
#pragma once

#include "framework/CWnd.h"

class CDialog;

// What DoDataExchange is asked to do: bind controls (and, on save, read and
// validate them).
struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    BOOL m_bFailed = FALSE;
    int m_nFailedControl = 0;

    // Refuses what the control holds (after telling the user why): UpdateData
    // returns FALSE and the focus goes to the first refused control.
    void Fail(int controlId);
};

// Binds a control object to the dialog's control with that identifier, once.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* pParent = nullptr)
        : m_nIDTemplate(templateId), m_pParentWnd(pParent) {}

    // Runs the dialog modally: its owner is disabled until it ends. Returns
    // the value given to EndDialog, or -1 if the dialog could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless; the caller shows it.
    BOOL Create(UINT templateId, CWnd* pParent = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);
    // FALSE when DoDataExchange refused a value; OK then leaves the dialog open.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    void HandleOK() { OnOK(); }
    void HandleCancel() { OnCancel(); }
    HWND CreateFromTemplate(HWND owner);
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

    bool m_bInModalLoop = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
};
