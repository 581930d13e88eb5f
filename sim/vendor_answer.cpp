#include "vendor_answer.h"

#include "../devcmd/VendorCdb.h"

#include <algorithm>
#include <cstring>

namespace sim {

bool isVendorCdb(const uint8_t* cdb)
{
    return cdb[0] == vendor::kSignature[0] && cdb[1] == vendor::kSignature[1] &&
           cdb[2] == vendor::kSignature[2];
}

VendorAnswer answerVendor(Recorder& recorder, const uint8_t* cdb, uint8_t* dataIn, uint32_t length)
{
    VendorAnswer a;
    if (!isVendorCdb(cdb))
        return a;
    const uint8_t op = cdb[3];
    if (op == vendor::kOpProbe && dataIn) {
        recorder.answerProbe(dataIn, length);
        a.accepted = true;
        a.transferred = length;
    } else if (op == vendor::kOpManagement && dataIn) {
        uint8_t response[16] = {};
        a.transferred = recorder.answerManagement(cdb, response, std::min<uint32_t>(length, 16));
        std::memcpy(dataIn, response, a.transferred);
        a.accepted = true;
    } else if (op >= vendor::kOpWriteSectorStream && op <= vendor::kOpCommand0D && op != 0x0B && op != 0x0C) {
        // Storage commands: data-in reads the recorder's bytes, data-out is taken whole.
        if (dataIn) {
            std::memset(dataIn, 0, length);
            const std::vector<uint8_t>& src = recorder.storageReadData;
            if (!src.empty())
                std::memcpy(dataIn, src.data(), std::min<size_t>(src.size(), length));
        }
        a.accepted = true;
        a.transferred = length;
    }
    return a;
}

}  // namespace sim
