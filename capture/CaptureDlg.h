// The full-screen capture window: the frozen screen, the capture area shown
// inverted and the highlight outlined in red. Dragging on it sets the area
// (or, in mark mode, the highlight); moving the pointer feeds the options
// dialog's colour readout and magnifier. Only the options dialog ends it.
#pragma once

#include "capture/CaptureSurface.h"
#include "capture/OptionsDlg.h"
#include "framework/CDialog.h"
#include "capture/MarkEditor.h"
#include "framework/Gdi.h"

class CaptureSession;

class CCaptureDlg : public CDialog, public CaptureSurface {
public:
    // The session is the grabbed screen this window shows and the choices
    // made on it; output is what the options dialog's OK runs.
    CCaptureDlg(CaptureSession& session, OutputRunner output);
    ~CCaptureDlg() override = default;

    // Shows the session's frozen screen until the options dialog ends it.
    // Returns the upload that its OK finished, empty when none.
    UploadedImage Run();

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter, Esc and Alt+F4 do not close the window.
    void OnOK() override;
    void OnCancel() override;

    // The highlight outline of the session's m_rcHighlight.
    void DrawHighlight(CDC& dc);

    // What the options dialog asks of this window.
    void UpdateMagnifier() override;
    void SetMarkTool(MarkTool tool) override;
    void UndoMark() override;
    void RedoMark() override;
    void EndMarkText() override;
    bool TakeTextKey(MSG* msg) override;

    CaptureSession& m_session;
    COptionsDlg m_optionsDlg;
    CRect m_rcDrag;  // current or last drag, image coordinates

private:
    void InvalidateImageRect(const CRect& rc);
    MarkEditor m_markEditor;
    bool OptionsShown() const;
    // A mouse message's point in image coordinates.
    CPoint ImagePoint(LPARAM lParam) const;
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseActivate(WPARAM wParam, LPARAM lParam);
    LRESULT OnWindowPosChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnRaiseOptions(WPARAM wParam, LPARAM lParam);
    LRESULT OnActivate(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam);
};
