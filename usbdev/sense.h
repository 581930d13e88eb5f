// Fixed-format sense data: what REQUEST SENSE returns after a failed command.
#pragma once

#include <cstdint>

namespace usbdev {

struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool operator==(const Sense& o) const { return key == o.key && asc == o.asc && ascq == o.ascq; }
};

constexpr Sense kNoSense{0x00, 0x00, 0x00};
constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense kLbaOutOfRange{0x05, 0x21, 0x00};
constexpr Sense kInvalidFieldInCdb{0x05, 0x24, 0x00};
constexpr Sense kPowerOnReset{0x06, 0x29, 0x00};
constexpr Sense kDataPhaseError{0x0B, 0x4B, 0x00};

constexpr uint32_t kSenseSize = 18;

// Writes the 18 bytes of fixed-format sense data (response code 70h).
inline void writeSense(const Sense& s, uint8_t* out)
{
    for (uint32_t i = 0; i < kSenseSize; ++i)
        out[i] = 0;
    out[0] = 0x70;
    out[2] = s.key;
    out[7] = kSenseSize - 8;
    out[12] = s.asc;
    out[13] = s.ascq;
}

}  // namespace usbdev
