// std::recursive_mutex for a mingw-w64 g++ of the win32 thread model, whose
// library has no std:: mutexes. Force-included into the simulated storage stack
// and its users when this test is built with such a compiler.
#pragma once

#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

namespace std {

class recursive_mutex {
public:
    recursive_mutex() { InitializeCriticalSection(&m_section); }
    ~recursive_mutex() { DeleteCriticalSection(&m_section); }
    recursive_mutex(const recursive_mutex&) = delete;
    recursive_mutex& operator=(const recursive_mutex&) = delete;

    void lock() { EnterCriticalSection(&m_section); }
    bool try_lock() { return TryEnterCriticalSection(&m_section) != 0; }
    void unlock() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

}  // namespace std
#endif
