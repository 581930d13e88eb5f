// Bytes as lower-case hex digits without separators, as the log and state file write them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace usbdev {

inline std::string hex(const uint8_t* p, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

}  // namespace usbdev
