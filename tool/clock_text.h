// The menu's time label: the local time as plain decimal numbers without
// leading zeros, such as "2013-10-15 6:43:9".
#pragma once

#include <cstddef>

// Writes the text and a terminating zero into `buffer` (at most `size` bytes,
// cut short if it does not fit); returns the length of the full text.
int FormatClockText(char* buffer, std::size_t size, unsigned year, unsigned month, unsigned day,
                    unsigned hour, unsigned minute, unsigned second);
