// Polling with a time-out: the driver waits for conditions, never for fixed times.
#pragma once

#include <windows.h>

namespace e2e {

// Default time-out for anything the program under test should do at once.
constexpr DWORD kPromptMs = 10000;

// Calls `condition` every few milliseconds until it returns true (result true)
// or `timeoutMs` has passed (result false, after one last try).
template <class Condition>
bool waitUntil(Condition condition, DWORD timeoutMs = kPromptMs, DWORD intervalMs = 5) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return condition();
        Sleep(intervalMs);
    }
}

}  // namespace e2e
