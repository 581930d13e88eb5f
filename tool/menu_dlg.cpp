#include "menu_dlg.h"

#include "change_pwd_dlg.h"
#include "clock_text.h"
#include "device_flows.h"
#include "dialog_common.h"
#include "resource.h"
#include "set_number_dlg.h"

#include <new>

namespace {

DeviceTime LocalDeviceTime()
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    DeviceTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    return t;
}

}  // namespace

CMenuDlg* g_pMenuDlg = nullptr;

CMenuDlg* GetMenuDlg()
{
    if (g_pMenuDlg == nullptr)
        g_pMenuDlg = new (std::nothrow) CMenuDlg;
    return g_pMenuDlg;
}

UINT ClockThreadProc(LPVOID param)
{
    const ClockThreadArgs args = *static_cast<ClockThreadArgs*>(param);
    delete static_cast<ClockThreadArgs*>(param);

    char text[128] = {0};
    SYSTEMTIME now = {};
    while (::WaitForSingleObject(args.stopEvent, 100) == WAIT_TIMEOUT) {
        ::GetLocalTime(&now);
        FormatClockText(text, sizeof text, now.wYear, now.wMonth, now.wDay, now.wHour,
                        now.wMinute, now.wSecond);
        // Carried out on the user-interface thread, in the menu window's own
        // handler: nothing is written once that window is gone.
        ::SendMessageA(args.menu, WM_KV_CLOCKTEXT, reinterpret_cast<WPARAM>(text),
                       static_cast<LPARAM>(args.run));
        ::Sleep(1000);
    }
    ::CloseHandle(args.stopEvent);
    AfxEndThread(0);
}

IMPLEMENT_DYNAMIC(CMenuDlg, CDialog)

BEGIN_MESSAGE_MAP(CMenuDlg, CDialog)
    ON_BN_CLICKED(IDC_BTN_BACK, &CMenuDlg::OnBack)
    ON_BN_CLICKED(IDC_BTN_MENU_EXIT, &CMenuDlg::OnExit)
    ON_BN_CLICKED(IDC_BTN_CHANGEPWD, &CMenuDlg::OnChangePassword)
    ON_BN_CLICKED(IDC_BTN_POLICENUMBER, &CMenuDlg::OnPoliceNumber)
    ON_BN_CLICKED(IDC_BTN_UDISK, &CMenuDlg::OnIntoUDisk)
    ON_BN_CLICKED(IDC_BTN_TIMESYNC, &CMenuDlg::OnTimeSync)
    ON_MESSAGE(WM_KV_CLOCKTEXT, &CMenuDlg::OnClockText)
END_MESSAGE_MAP()

CMenuDlg::CMenuDlg() : CDialog(IDD_MENU_DIALOG) {}

CMenuDlg::~CMenuDlg()
{
    StopClock();
    if (m_hClockStopEvent != nullptr)
        ::CloseHandle(m_hClockStopEvent);
}

void CMenuDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_STATIC_TIME, m_staticTime);
}

BOOL CMenuDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    StartClock();
    return TRUE;
}

void CMenuDlg::StopClock()
{
    if (m_hClockStopEvent != nullptr)
        ::SetEvent(m_hClockStopEvent);
    ++m_clockRun;
}

void CMenuDlg::StartClock()
{
    // The last run's thread has been told to stop already; this side's handle
    // to its event goes (the thread closes its own when it ends).
    StopClock();
    if (m_hClockStopEvent != nullptr) {
        ::CloseHandle(m_hClockStopEvent);
        m_hClockStopEvent = nullptr;
    }

    // The event exists before the thread does, so a stop can never miss it.
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
        return;  // no clock: the label keeps its template text
    HANDLE threadEvent = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), &threadEvent, 0,
                           FALSE, DUPLICATE_SAME_ACCESS)) {
        ::CloseHandle(event);
        return;
    }
    m_hClockStopEvent = event;
    auto* args = new (std::nothrow) ClockThreadArgs{threadEvent, m_hWnd, m_clockRun};
    if (args == nullptr || AfxBeginThread(ClockThreadProc, args) == nullptr) {
        delete args;
        ::CloseHandle(threadEvent);
    }
}

LRESULT CMenuDlg::OnClockText(WPARAM wParam, LPARAM lParam)
{
    if (static_cast<UINT>(lParam) != m_clockRun)
        return 0;
    // The clock text is ASCII (digits and separators): each byte is its character.
    const char* text = reinterpret_cast<const char*>(wParam);
    wchar_t wide[128] = {0};
    for (size_t i = 0; i + 1 < sizeof wide / sizeof wide[0] && text[i] != '\0'; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    m_staticTime.SetWindowText(wide);
    return 0;
}

void CMenuDlg::OnBack()
{
    StopClock();
    SendMessage(WM_CLOSE, 0, 0);
}

void CMenuDlg::OnExit() { ExitProgram(); }

void CMenuDlg::OnChangePassword()
{
    if (m_pChangPwdDlg == nullptr)
        m_pChangPwdDlg = new (std::nothrow) CChangPwdDlg;
    if (m_pChangPwdDlg == nullptr)
        return;
    ShowWindow(SW_HIDE);
    m_pChangPwdDlg->DoModal();
    ShowWindow(SW_SHOW);
}

void CMenuDlg::OnPoliceNumber()
{
    if (m_pSetNumberDlg == nullptr)
        m_pSetNumberDlg = new (std::nothrow) CSetNumberDlg;
    if (m_pSetNumberDlg == nullptr)
        return;
    ShowWindow(SW_HIDE);
    m_pSetNumberDlg->DoModal();
    ShowWindow(SW_SHOW);
}

void CMenuDlg::OnIntoUDisk()
{
    UsbScsiCmd device;
    CWaitCursor wait;
    RunIntoUDiskMode(device);
}

void CMenuDlg::OnTimeSync()
{
    UsbScsiCmd device;
    TimeSyncResult result;
    {
        CWaitCursor wait;
        result = RunTimeSync(device, &LocalDeviceTime);
    }
    ShowResultMessage(result);
}
