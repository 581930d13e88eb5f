// Decoding of SCSI pass-through request records in the 32-bit and 64-bit layouts.
#include "storage_stack.h"

#include <cstring>

namespace sim {
namespace {

struct Layout {
    int bits;
    uint32_t headerSize;
    uint32_t pointerSize;
    uint32_t senseInfoOffsetAt;
    uint32_t cdbAt;
};

constexpr Layout kLayout32{32, 44, 4, 24, 28};
constexpr Layout kLayout64{64, 56, 8, 32, 36};

template <typename T>
T readAt(const uint8_t* p, uint32_t offset)
{
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}

}  // namespace

bool decodeRequest(const uint8_t* record, DWORD inSize, DWORD outSize, bool direct,
                   DecodedRequest* out, DWORD* error)
{
    *error = kErrorInvalidParameter;
    if (record == nullptr || inSize < 2)
        return false;
    const uint16_t length = readAt<uint16_t>(record, 0);
    const Layout* layout = length == kLayout32.headerSize   ? &kLayout32
                           : length == kLayout64.headerSize ? &kLayout64
                                                            : nullptr;
    if (layout == nullptr || inSize < layout->headerSize)
        return false;

    DecodedRequest& d = *out;
    d.layoutBits = layout->bits;
    d.direct = direct;
    d.length = length;
    d.scsiStatus = record[2];
    d.pathId = record[3];
    d.targetId = record[4];
    d.lun = record[5];
    d.cdbLength = record[6];
    d.senseInfoLength = record[7];
    d.dataIn = record[8];
    d.dataTransferLength = readAt<uint32_t>(record, 12);
    d.timeOutValue = readAt<uint32_t>(record, 16);
    d.dataBufferOffset = layout->pointerSize == 4 ? readAt<uint32_t>(record, 20)
                                                  : readAt<uint64_t>(record, 24);
    d.senseInfoOffset = readAt<uint32_t>(record, layout->senseInfoOffsetAt);
    std::memcpy(d.cdb.data(), record + layout->cdbAt, 16);

    // What the port driver checks before it sends anything.
    if (d.cdbLength == 0 || d.cdbLength > 16 || d.dataIn > 2)
        return false;
    if (d.senseInfoLength > 0 && uint64_t(d.senseInfoOffset) + d.senseInfoLength > outSize)
        return false;
    if (!direct && d.dataTransferLength > 0) {
        if (d.dataBufferOffset + d.dataTransferLength > (d.dataIn == 1 ? outSize : inSize))
            return false;
    }
    if (direct && d.dataTransferLength > 0 && d.dataBufferOffset == 0)
        return false;

    // Bytes between the header and the data area must be as the caller cleared them.
    const uint32_t end = direct ? outSize : (d.dataBufferOffset < outSize ? uint32_t(d.dataBufferOffset) : outSize);
    d.fillerAndSenseZero = true;
    for (uint32_t i = layout->headerSize; i < end; ++i)
        if (record[i] != 0)
            d.fillerAndSenseZero = false;
    if (!direct && d.dataBufferOffset < outSize) {
        const uint32_t n = outSize - uint32_t(d.dataBufferOffset) < 16 ? outSize - uint32_t(d.dataBufferOffset) : 16;
        std::memcpy(d.dataAreaHead.data(), record + d.dataBufferOffset, n);
    }
    *error = 0;
    return true;
}

// Writes the fields a port driver returns into the header of the record.
void completeHeader(uint8_t* record, uint8_t scsiStatus, uint32_t transferred, uint8_t senseLength)
{
    record[2] = scsiStatus;
    record[7] = senseLength;
    std::memcpy(record + 12, &transferred, 4);
}

}  // namespace sim
