// The menu dialog: the PC's clock, written by the clock thread, and the
// buttons for time sync, USB-disk mode, password change and police number.
#pragma once

#include "framework.h"

class CChangPwdDlg;
class CSetNumberDlg;

class CMenuDlg : public CDialog {
    DECLARE_DYNAMIC(CMenuDlg)
public:
    CMenuDlg();
    ~CMenuDlg() override;

    // Tells the clock thread of the current (or last) run to end and stops
    // taking its label texts at once. Safe to repeat.
    void StopClock();

    // The sub-dialogs, each made at the first press of its button and reused; not deleted.
    CChangPwdDlg* m_pChangPwdDlg = nullptr;
    CSetNumberDlg* m_pSetNumberDlg = nullptr;
    // This side's handle to the stop event of the current (or last) run's clock
    // thread; the thread waits on a handle of its own to the same event.
    HANDLE m_hClockStopEvent = nullptr;
    CStatic m_staticTime;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBack();
    afx_msg void OnExit();
    afx_msg void OnChangePassword();
    afx_msg void OnPoliceNumber();
    afx_msg void OnIntoUDisk();
    afx_msg void OnTimeSync();
    afx_msg LRESULT OnClockText(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    void StartClock();

    // Numbers the clock threads; only texts from the current one reach the label.
    UINT m_clockRun = 0;
};

// What a clock thread is handed at its start; the thread owns it.
struct ClockThreadArgs {
    HANDLE stopEvent;  // the thread's own handle to its stop event
    HWND menu;         // the menu window of its run
    UINT run;          // its number (see CMenuDlg::m_clockRun)
};

// Sent by a clock thread to the menu window: wParam the label text, lParam the run.
constexpr UINT WM_KV_CLOCKTEXT = WM_APP + 1;

// The process's one menu dialog, null until the first GetMenuDlg.
extern CMenuDlg* g_pMenuDlg;
// g_pMenuDlg, made on first use; lives until the process ends.
CMenuDlg* GetMenuDlg();

// The clock thread: about every 1.1 s (100 ms wait, 1 s sleep) it sends the
// local time to its menu window, until its stop event is set; `param` is a
// ClockThreadArgs. Ends its thread through the framework.
UINT ClockThreadProc(LPVOID param);
