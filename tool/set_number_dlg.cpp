#include "set_number_dlg.h"

#include "device_flows.h"
#include "dialog_common.h"
#include "resource.h"

IMPLEMENT_DYNAMIC(CSetNumberDlg, CDialog)

BEGIN_MESSAGE_MAP(CSetNumberDlg, CDialog)
    ON_BN_CLICKED(IDC_BTN_NUMBER_BACK, &CSetNumberDlg::OnBack)
    ON_BN_CLICKED(IDC_BTN_NUMBER_SET, &CSetNumberDlg::OnSetNumber)
    ON_BN_CLICKED(IDC_BTN_NUMBER_EXIT, &CSetNumberDlg::OnExit)
END_MESSAGE_MAP()

CSetNumberDlg::CSetNumberDlg() : CDialog(IDD_SETNUMBER_DIALOG) {}

CSetNumberDlg::~CSetNumberDlg() = default;

void CSetNumberDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_POLICE_NUMBER, m_editPoliceNumber);
}

BOOL CSetNumberDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_editPoliceNumber.LimitText(kPoliceNumberLength);
    return TRUE;
}

void CSetNumberDlg::OnBack() { SendMessage(WM_CLOSE, 0, 0); }

void CSetNumberDlg::OnSetNumber()
{
    UsbScsiCmd device;
    PoliceNumberText number = {0};
    m_editPoliceNumber.GetWindowText(number, sizeof number);

    SetNumberResult result;
    {
        CWaitCursor wait;
        result = RunSetNumber(device, number);
    }
    switch (result) {
    case SetNumberResult::NoRecorder:
        ShowMessage(L"连接设备失败", MB_ICONWARNING);
        return;
    case SetNumberResult::Refused:
        ShowMessage(L"设置警号失败", MB_ICONWARNING);
        return;
    case SetNumberResult::Done:
        break;
    }
    ShowMessage(L"设置警号成功", MB_OK);
    SendMessage(WM_CLOSE, 0, 0);
}

void CSetNumberDlg::OnExit() { ExitProgram(); }
