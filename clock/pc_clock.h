// The PC's clock as the clock commands need it: the precise wall-clock time,
// the wait for the next second boundary, and local-time conversions.
#pragma once

#include "DeviceTime.h"

#include <cstdint>

namespace pcclock {

constexpr int64_t kMicrosPerSecond = 1000000;

// Microseconds since 1970-01-01 00:00 UTC, from the PC's most precise clock
// (Windows: GetSystemTimePreciseAsFileTime where the system has it, else
// GetSystemTimeAsFileTime refined with the performance counter; elsewhere
// clock_gettime(CLOCK_REALTIME)).
int64_t nowMicros();

// Waits until the PC clock has passed its next second boundary (at most one
// second): sleeps for most of the wait and watches the precise clock for the
// last milliseconds. Returns the clock reading taken right after the boundary.
int64_t waitForNextSecond();

// Sleeps about this many microseconds (coarse: the system's timer).
void sleepMicros(int64_t micros);
// Returns once the PC clock reads `micros` or later: sleeps while the system's
// timer is precise enough, then watches the clock.
int64_t waitUntil(int64_t micros);

// The local time of the second that `micros` falls in.
DeviceTime localTime(int64_t micros);
// The local time of the present second.
DeviceTime localTimeNow();
// Seconds since 1970 UTC of a local time; false when the fields are no time.
bool fromLocalTime(const DeviceTime& time, int64_t* seconds);

}  // namespace pcclock
