// GoogleTest's thread start-up signal for mingw's win32 thread model, which has
// no std::mutex or std::condition_variable for GoogleTest's own version of it.
// Included ahead of GoogleTest's headers (with GTEST_HAS_NOTIFICATION_=1).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(m_event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(m_event); }
    void WaitForNotification() { WaitForSingleObject(m_event, INFINITE); }

private:
    HANDLE m_event;
};

}  // namespace internal
}  // namespace testing
