// Modal dialogs from resource templates, run on the system's dialog loop, with
// dialog data exchange binding control objects to control ids.
#pragma once

#include "wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlgWnd) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// Binds `control` to the dialog's control `id` for as long as the dialog's
// window exists; the binding is dropped when the window is destroyed.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    // Template `templateId` of the program's resources. With no parent the owner
    // is the application's main window (its last active popup), if it has one.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the window from the template and runs it until EndDialog; the
    // value given to EndDialog, or what the system's dialog loop returned when
    // it ended otherwise (a quit message ends every modal loop in turn).
    virtual INT_PTR DoModal();
    void EndDialog(int result);
    // Runs DoDataExchange in the given direction.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    // Binds the controls (UpdateData(FALSE)); TRUE: focus to the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    // Enter (IDOK) and Esc or close (IDCANCEL): end the dialog with that value.
    afx_msg virtual void OnOK();
    afx_msg virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    friend void DDX_Control(CDataExchange*, int, CWnd&);
    static constexpr int kMaxBoundControls = 16;

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND DefaultOwner() const;
    void Bind(CWnd* control, HWND hWnd);
    void ReleaseBindings();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    CWnd* m_bound[kMaxBoundControls] = {};
    int m_nBound = 0;
};
