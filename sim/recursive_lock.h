// A recursive lock for the simulated stack. mingw's win32 thread model has no
// std::recursive_mutex, so Windows builds use a critical section.
#pragma once

#ifdef _WIN32
#include <windows.h>

namespace sim {

class RecursiveLock {
public:
    RecursiveLock() { InitializeCriticalSection(&m_section); }
    ~RecursiveLock() { DeleteCriticalSection(&m_section); }
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    void lock() { EnterCriticalSection(&m_section); }
    void unlock() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

}  // namespace sim
#else
#include <mutex>

namespace sim {
using RecursiveLock = std::recursive_mutex;
}  // namespace sim
#endif
