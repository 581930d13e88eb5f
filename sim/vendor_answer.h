// The recorder's answer to one vendor command block, whatever carries it: the
// simulated storage stack and the USB device both hand the block here.
#pragma once

#include "recorder.h"

#include <cstdint>

namespace sim {

// True when bytes 0-2 of the block are the vendor signature.
bool isVendorCdb(const uint8_t* cdb);

struct VendorAnswer {
    // False: the recorder refuses the block (CHECK CONDITION, ILLEGAL REQUEST).
    bool accepted = false;
    // Data-in bytes written to `dataIn`, or data-out bytes taken.
    uint32_t transferred = 0;
};

// Answers the vendor block `cdb` (16 bytes). `dataIn` is the host's data-in
// area of `length` bytes, or null for a data-out command (or one without
// data), whose `length` bytes the recorder takes whole.
VendorAnswer answerVendor(Recorder& recorder, const uint8_t* cdb, uint8_t* dataIn, uint32_t length);

}  // namespace sim
