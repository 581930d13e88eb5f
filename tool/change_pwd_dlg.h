// The change-password dialog: old password once, new password twice.
#pragma once

#include "framework.h"

class CChangPwdDlg : public CDialog {
    DECLARE_DYNAMIC(CChangPwdDlg)
public:
    CChangPwdDlg();
    ~CChangPwdDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBack();
    afx_msg void OnConfirm();
    afx_msg void OnExit();

    DECLARE_MESSAGE_MAP()

    CMeasuredEdit m_editOldPwd;
    CMeasuredEdit m_editNewPwd;
    CMeasuredEdit m_editNewPwdAgain;
};
