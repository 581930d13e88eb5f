#include "login_dlg.h"

#include "device_flows.h"
#include "dialog_common.h"
#include "field_text.h"
#include "menu_dlg.h"
#include "resource.h"

namespace {

// The program icon: group 128 of the program's own resources.
HICON LoadProgramIcon()
{
    HINSTANCE instance = AfxGetResourceHandle();
    if (::FindResourceA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON) == nullptr)
        return nullptr;
    return ::LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

}  // namespace

BEGIN_MESSAGE_MAP(CkorvaneDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_BTN_LOGIN, &CkorvaneDlg::OnLogin)
    ON_BN_CLICKED(IDC_BTN_LOGIN_EXIT, &CkorvaneDlg::OnExit)
END_MESSAGE_MAP()

CkorvaneDlg::CkorvaneDlg() : CDialog(IDD_KORVANE_DIALOG), m_hIcon(LoadProgramIcon()) {}

CkorvaneDlg::~CkorvaneDlg() = default;

void CkorvaneDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_PASSWORD, m_editPassword);
}

BOOL CkorvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    LimitToGbkBytes(m_editPassword, kPasswordLength);
    return TRUE;
}

void CkorvaneDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CkorvaneDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CkorvaneDlg::OnLogin()
{
    UsbScsiCmd device;
    LoginResult result;
    {
        CWaitCursor wait;
        // A password character without a GBK form goes as '?', at login and
        // when the password is set alike.
        result = RunLogin(device, [this](char* buffer, int size) {
            ReadGbkField(m_editPassword, buffer, size);
        });
    }
    ShowResultMessage(result);
    if (result != LoginResult::Accepted)
        return;

    if (m_pMenuDlg == nullptr)
        m_pMenuDlg = GetMenuDlg();
    if (m_pMenuDlg == nullptr)
        return;
    ShowWindow(SW_HIDE);
    m_pMenuDlg->DoModal();
    // However the menu was left, its clock stops.
    m_pMenuDlg->StopClock();
    ShowWindow(SW_SHOW);
}

void CkorvaneDlg::OnExit() { ExitProgram(); }
