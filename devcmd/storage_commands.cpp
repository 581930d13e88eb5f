// The storage command family (operations 0x02 to 0x0A and 0x0D): thin builders
// of one vendor block each, except WriteSectorStream, which sends pieces.
#include "UsbScsiCmd.h"

#include <algorithm>
#include <cstring>

namespace {

VendorCdb makeCdb(uint8_t op)
{
    VendorCdb cdb;
    std::memset(&cdb, 0, sizeof cdb);
    cdb.bytes[3] = op;
    return cdb;
}

void putCount16(VendorCdb& cdb, uint32_t count)
{
    cdb.bytes[8] = static_cast<uint8_t>(count >> 8);
    cdb.bytes[9] = static_cast<uint8_t>(count);
}

}  // namespace

int UsbScsiCmd::sendNoData(uint8_t op, int direction)
{
    VendorCdb cdb = makeCdb(op);
    return ExecuteVendorCommand(this, nullptr, &cdb, 0, direction);
}

int UsbScsiCmd::WriteSectorStream(uint32_t count, const void* data)
{
    if (count == 0)
        return 0;
    const uint8_t* position = static_cast<const uint8_t*>(data);
    uint32_t remaining = count;
    while (remaining > 0) {
        const uint32_t n = std::min(remaining, kStreamChunkSectors);
        VendorCdb cdb = makeCdb(vendor::kOpWriteSectorStream);
        cdb.bytes[4] = static_cast<uint8_t>(n >> 8);
        cdb.bytes[5] = static_cast<uint8_t>(n);
        // Data-out hands the caller's memory to the system unchanged.
        if (!ExecuteVendorCommand(this, const_cast<uint8_t*>(position), &cdb, n * kSectorSize,
                                  kDirectionOut))
            return 0;
        remaining -= n;
        position += n * kSectorSize;
    }
    return 1;
}

int UsbScsiCmd::Command03() { return sendNoData(vendor::kOpCommand03, kDirectionOut); }

int UsbScsiCmd::ReadByte(uint32_t address, uint8_t* out)
{
    VendorCdb cdb = makeCdb(vendor::kOpReadByte);
    vendor::putBigEndian32(&cdb.bytes[4], address);
    return ExecuteVendorCommand(this, out, &cdb, 1, kDirectionIn);
}

int UsbScsiCmd::WriteByte(uint32_t address, const uint8_t* value)
{
    VendorCdb cdb = makeCdb(vendor::kOpWriteByte);
    vendor::putBigEndian32(&cdb.bytes[4], address);
    cdb.bytes[8] = *value;
    return ExecuteVendorCommand(this, nullptr, &cdb, 0, kDirectionOut);
}

int UsbScsiCmd::ReadValue(int selector1, int selector2, int32_t* out)
{
    VendorCdb cdb = makeCdb(vendor::kOpReadValue);
    cdb.bytes[4] = static_cast<uint8_t>(selector1);
    cdb.bytes[5] = static_cast<uint8_t>(selector2);
    uint8_t b[4] = {0, 0, 0, 0};
    const int result = ExecuteVendorCommand(this, b, &cdb, sizeof b, kDirectionIn);
    // Nothing was received after a failure: report 0 rather than stale bytes.
    *out = result ? static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24)
                  : 0;
    return result;
}

int UsbScsiCmd::ReadSectors(uint32_t address, uint32_t count, void* data)
{
    // The block carries 16 bits of count; a larger count would read a different
    // amount than the recorder is asked for.
    if (count > kMaxSectorCount)
        return 0;
    VendorCdb cdb = makeCdb(vendor::kOpReadSectors);
    vendor::putBigEndian32(&cdb.bytes[4], address);
    putCount16(cdb, count);
    return ExecuteVendorCommand(this, data, &cdb, count * kSectorSize, kDirectionIn);
}

int UsbScsiCmd::WriteSectors(uint32_t address, uint32_t count, const void* data)
{
    if (count > kMaxSectorCount)
        return 0;
    VendorCdb cdb = makeCdb(vendor::kOpWriteSectors);
    vendor::putBigEndian32(&cdb.bytes[4], address);
    putCount16(cdb, count);
    return ExecuteVendorCommand(this, const_cast<void*>(data), &cdb, count * kSectorSize,
                                kDirectionOut);
}

int UsbScsiCmd::Command09(uint32_t address)
{
    VendorCdb cdb = makeCdb(vendor::kOpCommand09);
    vendor::putBigEndian32(&cdb.bytes[4], address);
    return ExecuteVendorCommand(this, nullptr, &cdb, 0, kDirectionIn);
}

int UsbScsiCmd::Command0A() { return sendNoData(vendor::kOpCommand0A, kDirectionOut); }

int UsbScsiCmd::Command0D() { return sendNoData(vendor::kOpCommand0D, kDirectionOut); }
