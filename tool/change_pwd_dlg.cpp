#include "change_pwd_dlg.h"

#include "device_flows.h"
#include "dialog_common.h"
#include "field_text.h"
#include "resource.h"

IMPLEMENT_DYNAMIC(CChangPwdDlg, CDialog)

BEGIN_MESSAGE_MAP(CChangPwdDlg, CDialog)
    ON_BN_CLICKED(IDC_BTN_PWD_BACK, &CChangPwdDlg::OnBack)
    ON_BN_CLICKED(IDC_BTN_PWD_CONFIRM, &CChangPwdDlg::OnConfirm)
    ON_BN_CLICKED(IDC_BTN_PWD_EXIT, &CChangPwdDlg::OnExit)
END_MESSAGE_MAP()

CChangPwdDlg::CChangPwdDlg() : CDialog(IDD_CHANGEPWD_DIALOG) {}

CChangPwdDlg::~CChangPwdDlg() = default;

void CChangPwdDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_OLDPWD, m_editOldPwd);
    DDX_Control(pDX, IDC_EDIT_NEWPWD, m_editNewPwd);
    DDX_Control(pDX, IDC_EDIT_NEWPWD_AGAIN, m_editNewPwdAgain);
}

BOOL CChangPwdDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    LimitToGbkBytes(m_editOldPwd, kPasswordLength);
    LimitToGbkBytes(m_editNewPwd, kPasswordLength);
    LimitToGbkBytes(m_editNewPwdAgain, kPasswordLength);
    return TRUE;
}

void CChangPwdDlg::OnBack() { SendMessage(WM_CLOSE, 0, 0); }

void CChangPwdDlg::OnConfirm()
{
    UsbScsiCmd device;
    PasswordText oldPassword = {0};
    PasswordText newPassword = {0};
    PasswordText newPasswordAgain = {0};
    // A password character without a GBK form goes as '?', at login and
    // when the password is set alike.
    ReadGbkField(m_editOldPwd, oldPassword, sizeof oldPassword);
    ReadGbkField(m_editNewPwd, newPassword, sizeof newPassword);
    ReadGbkField(m_editNewPwdAgain, newPasswordAgain, sizeof newPasswordAgain);

    ChangePasswordResult result;
    {
        CWaitCursor wait;
        result = RunChangePassword(device, oldPassword, newPassword, newPasswordAgain);
    }
    ShowResultMessage(result);
    if (result != ChangePasswordResult::Done)
        return;
    SendMessage(WM_CLOSE, 0, 0);
}

void CChangPwdDlg::OnExit() { ExitProgram(); }
