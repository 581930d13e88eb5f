#include "pc_clock.h"

#include <ctime>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <time.h>
#endif

namespace pcclock {
namespace {

#ifdef _WIN32
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpoch = 116444736000000000LL;

int64_t fileTimeMicros(const FILETIME& ft)
{
    const int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - kFileTimeEpoch) / 10;
}

using PreciseTimeFn = VOID(WINAPI*)(LPFILETIME);

// Windows 8 and later; Windows 7 lacks it.
PreciseTimeFn preciseTimeFunction()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return nullptr;
    return reinterpret_cast<PreciseTimeFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime")));
}

// The system time only moves every 10 to 16 ms on older systems; anchored at
// one of its steps, the performance counter fills in between.
struct CounterClock {
    bool anchored = false;
    int64_t baseMicros = 0;
    LARGE_INTEGER baseCounter{};
    LARGE_INTEGER frequency{};

    int64_t systemMicros()
    {
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        return fileTimeMicros(ft);
    }

    void anchor()
    {
        QueryPerformanceFrequency(&frequency);
        const int64_t start = systemMicros();
        int64_t t = start;
        // Catch the moment the system time steps.
        for (int i = 0; i < 10000000 && t == start; ++i)
            t = systemMicros();
        QueryPerformanceCounter(&baseCounter);
        baseMicros = t;
        anchored = true;
    }

    int64_t now()
    {
        if (!anchored)
            anchor();
        LARGE_INTEGER c;
        QueryPerformanceCounter(&c);
        const int64_t elapsed = (c.QuadPart - baseCounter.QuadPart) * kMicrosPerSecond / frequency.QuadPart;
        const int64_t estimate = baseMicros + elapsed;
        // Someone set the PC clock, or the counter drifted: anchor anew.
        const int64_t system = systemMicros();
        if (estimate < system - 20000 || estimate > system + 20000) {
            anchor();
            return baseMicros;
        }
        return estimate;
    }
};

CounterClock g_counterClock;
#endif

int64_t floorSeconds(int64_t micros)
{
    int64_t s = micros / kMicrosPerSecond;
    if (micros % kMicrosPerSecond < 0)
        --s;
    return s;
}

}  // namespace

int64_t nowMicros()
{
#ifdef _WIN32
    if (PreciseTimeFn precise = preciseTimeFunction()) {
        FILETIME ft;
        precise(&ft);
        return fileTimeMicros(ft);
    }
    return g_counterClock.now();
#else
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kMicrosPerSecond + ts.tv_nsec / 1000;
#endif
}

void sleepMicros(int64_t micros)
{
    if (micros <= 0)
        return;
#ifdef _WIN32
    Sleep(static_cast<DWORD>((micros + 999) / 1000));
#else
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(micros / kMicrosPerSecond);
    ts.tv_nsec = static_cast<long>((micros % kMicrosPerSecond) * 1000);
    nanosleep(&ts, nullptr);
#endif
}

int64_t waitUntil(int64_t target)
{
    // The system timer may wake a sleeper up to a tick late (about 16 ms on
    // Windows); the rest of the wait watches the clock.
#ifdef _WIN32
    constexpr int64_t kWatchMicros = 25000;
#else
    constexpr int64_t kWatchMicros = 3000;
#endif
    for (;;) {
        const int64_t now = nowMicros();
        const int64_t remaining = target - now;
        if (remaining <= 0)
            return now;
        if (remaining > kWatchMicros) {
            sleepMicros(remaining - kWatchMicros);
        } else {
#ifdef _WIN32
            SwitchToThread();
#endif
        }
    }
}

int64_t waitForNextSecond()
{
    return waitUntil((floorSeconds(nowMicros()) + 1) * kMicrosPerSecond);
}

DeviceTime localTime(int64_t micros)
{
    return deviceTimeAt(static_cast<std::time_t>(floorSeconds(micros)));
}

DeviceTime localTimeNow() { return localTime(nowMicros()); }

bool fromLocalTime(const DeviceTime& time, int64_t* seconds)
{
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 ||
        time.minute > 59 || time.second > 59)
        return false;
    const std::time_t t = secondsOfLocal(time);
    if (t == static_cast<std::time_t>(-1))
        return false;
    *seconds = static_cast<int64_t>(t);
    return true;
}

}  // namespace pcclock
