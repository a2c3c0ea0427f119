#include "app/OrvoCaptureApp.h"

#include <commctrl.h>

#include <memory>

#include "res/resource.h"
#include "ui/TextProgressCtrl.h"
#include "upload/GetTagsDlg.h"
#include "upload/UploadJob.h"

namespace {

// The bar lives on the desktop for the transfer only: afterwards the desktop
// wrapper lets go without destroying anything, and the bar goes.
class DesktopBarSteps : public UploadJobSteps {
public:
    DesktopBarSteps(CWnd& desktop, std::unique_ptr<CTextProgressCtrl>& bar) : m_desktop(desktop), m_bar(bar) {}
    void AfterSend(const UploadOutcome&) override
    {
        m_desktop.Detach();
        m_bar.reset();
    }

private:
    CWnd& m_desktop;
    std::unique_ptr<CTextProgressCtrl>& m_bar;
};

}  // namespace

void COrvoCaptureApp::RunUploadMode(const CString& path)
{
    // Upload mode starts without the resident set-up; the bar's window class
    // must be there all the same.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);

    CWnd desktop;
    desktop.Attach(::GetDesktopWindow());
    auto bar = std::make_unique<CTextProgressCtrl>();
    bar->Create(WS_VISIBLE | PBS_SMOOTH, CRect(50, 50, 600, 100), &desktop, IDC_UPLOAD_PROGRESS);
    bar->CenterWindow();
    bar->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    DesktopBarSteps steps(desktop, bar);
    bool found = false;
    CTextProgressCtrl& control = *bar;
    const CString address = RunUploadJob(control, path, nullptr, &steps, &found);

    if (found) {
        CGetTagsDlg dlg;
        dlg.m_strUrl = address;
        dlg.DoModal();
    } else {
        AfxMessageBox(L"Could not upload file", MB_OK);
    }
}
