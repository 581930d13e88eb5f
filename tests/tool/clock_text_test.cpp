// The menu's time label text.
#include "clock_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct ClockCase {
    unsigned year, month, day, hour, minute, second;
    const char* text;
};

TEST(ClockText, PlainDecimalWithoutLeadingZeros)
{
    const ClockCase cases[] = {
        {2013, 10, 15, 6, 43, 9, "2013-10-15 6:43:9"},
        {2000, 1, 1, 0, 0, 0, "2000-1-1 0:0:0"},
        {2026, 12, 31, 23, 59, 59, "2026-12-31 23:59:59"},
        {1999, 7, 4, 10, 5, 30, "1999-7-4 10:5:30"},
    };
    for (const ClockCase& c : cases) {
        char buffer[128];
        std::memset(buffer, 'x', sizeof buffer);
        const int n = FormatClockText(buffer, sizeof buffer, c.year, c.month, c.day, c.hour,
                                      c.minute, c.second);
        EXPECT_EQ(std::string(buffer), c.text);
        EXPECT_EQ(n, static_cast<int>(std::string(c.text).size()));
    }
}

TEST(ClockText, CutShortAndTerminatedWhenTheBufferIsSmall)
{
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    const int n = FormatClockText(buffer, sizeof buffer, 2013, 10, 15, 6, 43, 9);
    EXPECT_EQ(n, 17);
    EXPECT_EQ(std::string(buffer), "2013-10");
}

}  // namespace
