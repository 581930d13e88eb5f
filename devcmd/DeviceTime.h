// The recorder's clock as the management commands carry it.
#pragma once

#include <cstdint>
#include <ctime>

struct DeviceTime {
    uint16_t year;  // full year, such as 2013
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
};

// The recorder keeps local time, as the PC shows it: these convert between a
// DeviceTime and seconds since the epoch in this machine's time zone.

// The local time of `seconds`.
inline DeviceTime deviceTimeAt(std::time_t seconds)
{
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    DeviceTime t;
    t.year = static_cast<uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<uint16_t>(tm.tm_mon + 1);
    t.day = static_cast<uint16_t>(tm.tm_mday);
    t.hour = static_cast<uint16_t>(tm.tm_hour);
    t.minute = static_cast<uint16_t>(tm.tm_min);
    t.second = static_cast<uint16_t>(tm.tm_sec);
    return t;
}

// The seconds since the epoch of local time `t` (daylight saving as the zone
// had it then); (time_t)-1 where the C library cannot represent it.
inline std::time_t secondsOfLocal(const DeviceTime& t)
{
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
