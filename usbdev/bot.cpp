#include "bot.h"

#include <cstring>

namespace usbdev {
namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

void putLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

}  // namespace

bool parseCbw(const uint8_t* bytes, size_t size, Cbw* out)
{
    if (size != kCbwSize || le32(bytes) != kCbwSignature)
        return false;
    Cbw c;
    c.tag = le32(bytes + 4);
    c.dataLength = le32(bytes + 8);
    c.dataIn = (bytes[12] & 0x80) != 0;
    c.lun = bytes[13] & 0x0F;
    c.cdbLength = bytes[14] & 0x1F;
    if (c.lun != 0 || c.cdbLength == 0 || c.cdbLength > 16)
        return false;
    std::memcpy(c.cdb.data(), bytes + 15, c.cdbLength);
    *out = c;
    return true;
}

std::array<uint8_t, kCswSize> makeCsw(uint32_t tag, uint32_t residue, CswStatus status)
{
    std::array<uint8_t, kCswSize> csw{};
    putLe32(csw.data(), kCswSignature);
    putLe32(csw.data() + 4, tag);
    putLe32(csw.data() + 8, residue);
    csw[12] = static_cast<uint8_t>(status);
    return csw;
}

}  // namespace usbdev
