// The recorder's clock as the management commands carry it.
#pragma once

#include <cstdint>

struct DeviceTime {
    uint16_t year;  // full year, such as 2013
    uint16_t month;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
};
