// Faults the device can be told to show: each matches commands by their block
// and is used up after `count` matches.
#pragma once

#include "sense.h"

#include <cstdint>
#include <string>
#include <vector>

namespace usbdev {

enum class FaultKind {
    CheckCondition,  // fail the command with `sense`
    UnitAttention,   // fail it with 06/29/00, as after a power-on or reset
    Stall,           // halt bulk-in instead of answering, then fail the command
    Delay,           // carry the command out but answer `delayMs` later
    UnplugAfter,     // answer, then leave the bus
};

struct Fault {
    FaultKind kind = FaultKind::CheckCondition;
    int op = -1;   // vendor operation (block byte 3); -1: any vendor block
    int sub = -1;  // management sub-operation (block byte 4); -1: any
    bool anyCommand = false;  // also ordinary SCSI commands, not only vendor blocks
    Sense sense{0x04, 0x44, 0x00};  // HARDWARE ERROR, INTERNAL TARGET FAILURE
    uint32_t delayMs = 3000;
    int count = 1;

    bool matches(const uint8_t* cdb, bool vendor) const;
};

// Reads a fault from one line of words, such as
//   check-condition op=fe sub=07 sense=02/04/00 count=2
//   unit-attention any
//   stall op=fe
//   delay ms=3000 op=fe sub=08
//   unplug-after op=01
// Returns false, with a reason in `error`, for anything it does not know.
bool parseFault(const std::string& line, Fault* out, std::string* error);

}  // namespace usbdev
