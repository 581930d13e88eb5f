// The 16-byte command block of every vendor command.
#pragma once

#include <cstdint>

struct VendorCdb {
    uint8_t bytes[16];
};

namespace vendor {

// Bytes 0..2 of every vendor block; ExecuteVendorCommand stamps them.
constexpr uint8_t kSignature[3] = {0xFA, 0x55, 0x66};

// Byte 3: the operation.
constexpr uint8_t kOpProbe = 0x01;
constexpr uint8_t kOpWriteSectorStream = 0x02;
constexpr uint8_t kOpCommand03 = 0x03;
constexpr uint8_t kOpReadByte = 0x04;
constexpr uint8_t kOpWriteByte = 0x05;
constexpr uint8_t kOpReadValue = 0x06;
constexpr uint8_t kOpReadSectors = 0x07;
constexpr uint8_t kOpWriteSectors = 0x08;
constexpr uint8_t kOpCommand09 = 0x09;
constexpr uint8_t kOpCommand0A = 0x0A;
constexpr uint8_t kOpCommand0D = 0x0D;
constexpr uint8_t kOpManagement = 0xFE;

// Byte 4 of a management command: the sub-operation.
constexpr uint8_t kSubSetPassword = 0x01;
constexpr uint8_t kSubSetIdFirst = 0x02;
constexpr uint8_t kSubSetTime = 0x03;
constexpr uint8_t kSubIntoUDiskMode = 0x04;
constexpr uint8_t kSubLogin = 0x07;
constexpr uint8_t kSubGetTime = 0x08;
constexpr uint8_t kSubSetIdSecond = 0x09;
constexpr uint8_t kSubGetIdFirst = 0x0A;
constexpr uint8_t kSubGetIdSecond = 0x0B;

// Writes a 32-bit value most significant byte first.
inline void putBigEndian32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

}  // namespace vendor
