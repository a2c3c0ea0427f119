#include "framework/CDialog.h"

#include "framework/CWinApp.h"
#include "framework/DialogPlacement.h"

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!control.m_hWnd)
        control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

const MessageMap* CDialog::Map()
{
    static const MessageMap map(CWnd::Map(), {
        OnMessage(WM_INITDIALOG, &CDialog::HandleInitDialog),
        OnCommand(IDOK, BN_CLICKED, &CDialog::HandleOK),
        OnCommand(IDCANCEL, BN_CLICKED, &CDialog::HandleCancel),
    });
    return &map;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM)
{
    // Every message reaches the bound object through the subclassed window
    // procedure first; what is left gets the dialog manager's defaults.
    return FALSE;
}

HWND CDialog::CreateFromTemplate(HWND owner)
{
    CWndCreationHook hook(this);
    return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                                &CDialog::DialogProc, 0);
}

BOOL CDialog::Create(UINT templateId, CWnd* pParent)
{
    m_nIDTemplate = templateId;
    m_pParentWnd = pParent;
    return CreateFromTemplate(pParent ? pParent->m_hWnd : nullptr) != nullptr;
}

INT_PTR CDialog::DoModal()
{
    // Without a parent the application's main window owns the dialog.
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner)
        if (CWnd* main = AfxGetMainWnd())
            owner = main->m_hWnd;
    const bool disableOwner = owner && ::IsWindowEnabled(owner);

    m_bEndModal = false;
    m_nModalResult = -1;
    // The owner is disabled before the dialog exists, as it will be for the
    // dialog's whole life, including its initialisation.
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    // Modal from the start, so an EndDialog from OnInitDialog ends the loop
    // before it runs instead of being lost.
    m_bInModalLoop = true;
    if (!CreateFromTemplate(owner)) {
        m_bInModalLoop = false;
        if (disableOwner)
            ::EnableWindow(owner, TRUE);
        return -1;
    }

    // A dialog that showed itself while it initialised keeps the window
    // it activated since.
    if (!m_bEndModal && m_hWnd && !::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    // The application's own loop, nested: keyboard handling of modeless
    // dialogs works inside it as anywhere else.
    AfxRunMessageLoop(
        [](void* self) {
            auto* dlg = static_cast<CDialog*>(self);
            return !dlg->m_bEndModal && dlg->m_hWnd != nullptr;
        },
        this);
    m_bInModalLoop = false;

    // Re-enable the owner before the dialog goes, so activation returns to it.
    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        if (owner && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(owner);
        DestroyWindow();
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bInModalLoop) {
        m_bEndModal = true;
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wake the loop
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, result);
    }
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    // A modal dialog whose owner is hidden (the tray's window) or absent
    // would open where its template says, relative to the screen's corner:
    // it goes where the user is looking instead. OnInitDialog may still
    // place it elsewhere.
    if (m_bInModalLoop) {
        HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
        if (!owner || !::IsWindowVisible(owner) || ::IsIconic(owner))
            CentreOnPointerMonitor(m_hWnd);
    }
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

void CDataExchange::Fail(int controlId)
{
    if (!m_bFailed)
        m_nFailedControl = controlId;
    m_bFailed = TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx{this, saveAndValidate};
    DoDataExchange(&dx);
    if (!dx.m_bFailed)
        return TRUE;
    // The user corrects the first field that was refused.
    if (HWND control = ::GetDlgItem(m_hWnd, dx.m_nFailedControl))
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    return FALSE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    // Tab, arrows, Enter and Escape work the dialog way, modal or modeless.
    if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
        return ::IsDialogMessageW(m_hWnd, pMsg);
    return FALSE;
}
