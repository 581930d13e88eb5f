#include "change_pwd_dlg.h"

#include "device_flows.h"
#include "dialog_common.h"
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
    m_editOldPwd.LimitText(kPasswordLength);
    m_editNewPwd.LimitText(kPasswordLength);
    m_editNewPwdAgain.LimitText(kPasswordLength);
    return TRUE;
}

void CChangPwdDlg::OnBack() { SendMessage(WM_CLOSE, 0, 0); }

void CChangPwdDlg::OnConfirm()
{
    UsbScsiCmd device;
    PasswordText oldPassword = {0};
    PasswordText newPassword = {0};
    PasswordText newPasswordAgain = {0};
    m_editOldPwd.GetWindowText(oldPassword, sizeof oldPassword);
    m_editNewPwd.GetWindowText(newPassword, sizeof newPassword);
    m_editNewPwdAgain.GetWindowText(newPasswordAgain, sizeof newPasswordAgain);

    ChangePasswordResult result;
    {
        CWaitCursor wait;
        result = RunChangePassword(device, oldPassword, newPassword, newPasswordAgain);
    }
    switch (result) {
    case ChangePasswordResult::NoRecorder:
        ShowMessage(L"连接设备失败", MB_ICONWARNING);
        return;
    case ChangePasswordResult::OldPasswordRefused:
        ShowMessage(L"校验旧密码失败", MB_ICONWARNING);
        return;
    case ChangePasswordResult::NewPasswordsDiffer:
        ShowMessage(L"新密码输入不一致", MB_ICONWARNING);
        return;
    case ChangePasswordResult::SetFailed:
        ShowMessage(L"设置新密码失败，请检查设备连接", MB_ICONWARNING);
        return;
    case ChangePasswordResult::Done:
        break;
    }
    ShowMessage(L"设置新密码成功", MB_OK);
    SendMessage(WM_CLOSE, 0, 0);
}

void CChangPwdDlg::OnExit() { ExitProgram(); }
