// The full-screen capture window: the frozen screen, the capture area shown
// inverted and the highlight outlined in red. Dragging on it sets the area
// (or, in mark mode, the highlight); moving the pointer feeds the options
// dialog's colour readout and magnifier. Only the options dialog ends it.
#pragma once

#include "framework/CDialog.h"
#include "framework/Gdi.h"
#include "output/OptionsDlg.h"

class CCaptureDlg : public CDialog {
public:
    CCaptureDlg();
    ~CCaptureDlg() override = default;

    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter, Esc and Alt+F4 do not close the window.
    void OnOK() override;
    void OnCancel() override;

    // Redraws the options dialog's magnifier around the pointer.
    void UpdateMagnifier();
    // The highlight outline of the application's m_rcHighlight.
    void DrawHighlight(CDC& dc);

    COptionsDlg m_optionsDlg;
    double m_dZoom = 2.0;  // kept from capture to capture within one run
    CRect m_rcDrag;        // current or last drag, image coordinates

private:
    bool OptionsShown() const;
    // A mouse message's point in image coordinates.
    CPoint ImagePoint(LPARAM lParam) const;
    LRESULT OnShowWindow(WPARAM wParam, LPARAM lParam);
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
