// The police-number dialog: writes the officer's number into the recorder.
#pragma once

#include "framework.h"

class CSetNumberDlg : public CDialog {
    DECLARE_DYNAMIC(CSetNumberDlg)
public:
    CSetNumberDlg();
    ~CSetNumberDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBack();
    afx_msg void OnSetNumber();
    afx_msg void OnExit();

    DECLARE_MESSAGE_MAP()

    CMeasuredEdit m_editPoliceNumber;
};
