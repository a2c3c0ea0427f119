// The small dialog that floats on the capture window during a capture: the
// destinations, file name and format, DPI scaling, self-destruct time, the
// capture area and Mark Area; it holds the magnifier surface and the colour
// readout the capture window writes into. OK delivers the image; OK and
// Cancel both end the capture. The window is made at the first capture and
// kept, parked off the screen with its pixels, between captures: making and
// painting its controls is the slow part of showing it.
#pragma once

#include "capture/CaptureSurface.h"
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

    // Shows the dialog on the capture window for a new capture, made the
    // first time and refilled after; the marks and the magnifier go to the
    // surface until the capture ends.
    void ShowForCapture(CDialog* captureWindow, CaptureSurface& surface);
    // Ends the capture: keeps the placement, parks the dialog, which outlives
    // the capture window, and ends the capture window's modal loop.
    void EndCapture();
    // Shown for a capture; false between captures, while parked.
    bool IsOnScreen() const;
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
    // Every control as a new capture starts with it, from the settings and
    // the capture state. A control's reset belongs here and nowhere else:
    // the window is refilled, not made anew, for every capture.
    void FillForNewCapture();
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
    void Park();
    void Unpark();
    bool m_bParked = false;
    // The stored placement when it lies on a monitor, else centred.
    void PlaceFromStoredPosition();
    void FocusFileName();
    void StorePlacement() const;
    CaptureSession& m_session;
    OutputRunner m_pfnOutput;
    CaptureSurface* m_pSurface = nullptr;  // during a capture only
};
