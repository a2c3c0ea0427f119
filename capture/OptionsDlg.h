// The small dialog that floats on the capture window for one capture: the
// destinations, file name and format, DPI scaling, self-destruct time, the
// capture area and Mark Area; it holds the magnifier surface and the colour
// readout the capture window writes into. OK delivers the image; OK and
// Cancel both close it, and its end ends the capture window.
#pragma once

#include "capture/OutputChoices.h"
#include "framework/CDialog.h"
#include "capture/MarkToolbar.h"
#include "framework/Controls.h"
#include "ui/TextProgressCtrl.h"

class CaptureSession;

class COptionsDlg : public CDialog {
public:
    // The dialog works on session; OK hands the choices to output.
    COptionsDlg(CaptureSession& session, OutputRunner output);
    ~COptionsDlg() override = default;

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Keys for a text being typed on the capture, and Ctrl+Z / Ctrl+Y for
    // the marks wherever the file name field does not want them.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // A click on a mark tool, colour, width, undo or redo button.
    void OnMarkButton(int id);

    // The extension of the checked format radio, empty when none is checked.
    CString GetFormatExtension() const;
    // Fixes the file name's extension and the enabled states after a change
    // of destination or format.
    void UpdateControls();

    CButton m_btnSave;
    CButton m_btnUpload;
    CEdit m_editFilename;
    CTextProgressCtrl m_progress;
    CButton m_btnClipboard;
    CButton m_btnDpiScale;
    CComboBox m_comboSelfDestruct;
    CButton m_btnSelfDestruct;
    CString m_strDir;  // where a save goes; reloaded from "Dir" at every opening
    CButton m_btnMarkArea;
    CStatic m_staticColor;
    CStatic m_staticMagnifier;
    UploadedImage m_uploaded;  // the upload OK finished; empty when none

protected:
    void OnBnClickedOk();
    void OnBnClickedCancel();
    void OnBnClickedBrowse();
    void OnBnClickedFullscreen();
    void OnBnClickedActiveWindow();
    void OnBnClickedMarkArea();

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    CRect MagnifierRectInClient() const;
    void ReleaseToolsExcept(int id);
    MarkButtonDecor m_markDecor;
    CaptureSession& m_session;
    OutputRunner m_pfnOutput;
};
