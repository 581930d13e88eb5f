// Bulk-Only Transport framing: the 31-byte command block wrapper the host sends
// on bulk-out and the 13-byte command status wrapper the device answers with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace usbdev {

constexpr size_t kCbwSize = 31;
constexpr size_t kCswSize = 13;
constexpr uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr uint32_t kCswSignature = 0x53425355;  // "USBS"

struct Cbw {
    uint32_t tag = 0;
    uint32_t dataLength = 0;
    bool dataIn = false;  // flags bit 7
    uint8_t lun = 0;
    uint8_t cdbLength = 0;
    std::array<uint8_t, 16> cdb{};
};

// A wrapper is meaningful only when it is exactly 31 bytes, carries the
// signature, addresses LUN 0 and has a command block of 1 to 16 bytes.
bool parseCbw(const uint8_t* bytes, size_t size, Cbw* out);

enum class CswStatus : uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

std::array<uint8_t, kCswSize> makeCsw(uint32_t tag, uint32_t residue, CswStatus status);

}  // namespace usbdev
