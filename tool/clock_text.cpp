#include "clock_text.h"

#include <cstdio>

int FormatClockText(char* buffer, std::size_t size, unsigned year, unsigned month, unsigned day,
                    unsigned hour, unsigned minute, unsigned second)
{
    return std::snprintf(buffer, size, "%u-%u-%u %u:%u:%u", year, month, day, hour, minute, second);
}
