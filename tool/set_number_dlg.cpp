#include "set_number_dlg.h"

#include "device_flows.h"
#include "dialog_common.h"
#include "field_text.h"
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
    LimitToGbkBytes(m_editPoliceNumber, kPoliceNumberLength);
    return TRUE;
}

void CSetNumberDlg::OnBack() { SendMessage(WM_CLOSE, 0, 0); }

void CSetNumberDlg::OnSetNumber()
{
    UsbScsiCmd device;
    PoliceNumberText number = {0};
    const FieldTextResult text = ReadGbkField(m_editPoliceNumber, number, sizeof number);
    if (text != FieldTextResult::Encoded) {
        // Sent, the character would reach the recorder as '?': nothing is sent.
        ShowResultMessage(text);
        return;
    }

    SetNumberResult result;
    {
        CWaitCursor wait;
        result = RunSetNumber(device, number);
    }
    ShowResultMessage(result);
    if (result != SetNumberResult::Done)
        return;
    SendMessage(WM_CLOSE, 0, 0);
}

void CSetNumberDlg::OnExit() { ExitProgram(); }
