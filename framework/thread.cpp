#include "thread.h"

#include <new>
#include <process.h>

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

namespace {

// The running worker's thread object, per thread.
DWORD CurrentThreadSlot()
{
    static const DWORD slot = ::TlsAlloc();
    return slot;
}

unsigned __stdcall ThreadEntry(void* param)
{
    auto* thread = static_cast<CWinThread*>(param);
    ::TlsSetValue(CurrentThreadSlot(), thread);
    const UINT code = thread->m_pfnThreadProc(thread->m_pThreadParams);
    AfxEndThread(code);
}

}  // namespace

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr)
        ::CloseHandle(m_hThread);
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                           DWORD createFlags, LPSECURITY_ATTRIBUTES security)
{
    if (CurrentThreadSlot() == TLS_OUT_OF_INDEXES)
        return nullptr;
    auto* thread = new (std::nothrow) CWinThread(proc, param);
    if (thread == nullptr)
        return nullptr;
    unsigned id = 0;
    const uintptr_t handle =
        _beginthreadex(security, stackSize, &ThreadEntry, thread, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    thread->m_nThreadID = id;
    ::SetThreadPriority(thread->m_hThread, priority);
    if (!(createFlags & CREATE_SUSPENDED))
        thread->ResumeThread();
    return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteThread)
{
    auto* thread = static_cast<CWinThread*>(::TlsGetValue(CurrentThreadSlot()));
    if (thread != nullptr && deleteThread && thread->m_bAutoDelete) {
        ::TlsSetValue(CurrentThreadSlot(), nullptr);
        delete thread;
    }
    _endthreadex(exitCode);
}
