// Worker threads. The framework owns each thread object and deletes it when
// the thread ends (by returning from its procedure or through AfxEndThread).
#pragma once

#include "cmdtarget.h"

using AFX_THREADPROC = UINT (*)(LPVOID param);

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread(AFX_THREADPROC proc, LPVOID param) : m_pfnThreadProc(proc), m_pThreadParams(param) {}
    ~CWinThread() override;

    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    // Deleted by the framework when the thread ends.
    BOOL m_bAutoDelete = TRUE;
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Starts `proc(param)` on a new thread; null when the thread could not be made.
// Unless CREATE_SUSPENDED is given the thread runs at once, and may already
// have ended (and its object been deleted) when this returns.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0,
                           LPSECURITY_ATTRIBUTES security = nullptr);

// Ends the calling worker thread at once with `exitCode`, deleting its thread
// object (if `deleteThread` and the object is auto-deleting). Does not return.
[[noreturn]] void AfxEndThread(UINT exitCode, BOOL deleteThread = TRUE);
