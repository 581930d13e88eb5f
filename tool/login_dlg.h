// The login dialog: password, discovery, login; on success it hides itself
// and runs the menu dialog.
#pragma once

#include "framework.h"

class CMenuDlg;

class CkorvaneDlg : public CDialog {
public:
    CkorvaneDlg();
    ~CkorvaneDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnLogin();
    afx_msg void OnExit();

    DECLARE_MESSAGE_MAP()

    HICON m_hIcon;
    // The one menu dialog of the process, from the first successful login on; not owned.
    CMenuDlg* m_pMenuDlg = nullptr;
    CMeasuredEdit m_editPassword;
};
