// One lock for the whole library: exports run one at a time, so a CConnectDV
// never replaces or closes the handle under a command in flight.
#pragma once

#ifdef _WIN32
#include <windows.h>

class ExportLock {
public:
    ExportLock() { AcquireSRWLockExclusive(&s_lock); }
    ~ExportLock() { ReleaseSRWLockExclusive(&s_lock); }
    ExportLock(const ExportLock&) = delete;
    ExportLock& operator=(const ExportLock&) = delete;

private:
    static SRWLOCK s_lock;  // statically initialised: nothing to set up at load
};
#else
#include <mutex>

class ExportLock {
public:
    ExportLock() : m_guard(s_lock) {}

private:
    static std::mutex s_lock;
    std::lock_guard<std::mutex> m_guard;
};
#endif
