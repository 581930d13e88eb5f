// The simulated recorder of the demo build, set up from a scenario text, with
// an optional line log of every platform call.
//
// Scenario: comma-separated tokens, applied in order, over the default machine
// (C: and D: ordinary disks, a recorder of variant 1 at G:, factory state):
//   none                   no recorder at all
//   recorder=L             the recorder sits behind letter L instead of G
//   recorder=L:V:PASSWORD:MS
//                          a recorder at L, of variant V, with that password and
//                          its clock MS milliseconds ahead (negative: behind) of
//                          the PC's; fields may be left empty or off (recorder=H:2,
//                          recorder=H::123456). Every recorder token names one
//                          more recorder; without any, there is one at G.
//   variant=N              probe variant 1 or 2 (of recorders that give none)
//   password=XXXXXX        the recorder's password (six bytes; the same)
//   clock=MS               the recorder's clock MS ms off the PC's (the same)
//   police-number=HEX      the police number's bytes (up to 13, hexadecimal; every recorder)
//   pull-after-discovery   the recorder is pulled out right after it answers its probe
//   fail-ioctl=N           the N-th DeviceIoControl fails
//   fail-ioctls-from=N     every DeviceIoControl from the N-th on fails
//   status=SS:VV           next management sub-operation SS (hex) answers status VV (hex)
//   check=C                every command C is refused: CHECK CONDITION, ILLEGAL REQUEST 05/24/00
//   unit-attention=C       the next command C gets CHECK CONDITION, UNIT ATTENTION 06/29/00
//   unit-attention-always=C  every command C gets UNIT ATTENTION
//   short=C[:N]            every data-in command C delivers only N bytes (default 0), status GOOD
//   sense=descriptor       sense data in descriptor format (0x72) instead of fixed (0x70)
// C names the command: SS (hex) a management sub-operation, probe, inquiry or any.
// UNIT ATTENTION is never given to INQUIRY; it waits for the next command C.
//
// Log lines (one per call, flushed at once):
//   create L: ok|fail
//   ioctl L: code=0004d004 in=N out=N dir=in|out len=N timeout=N cdb=<32 hex> [data=<hex>] result=0|1
//            [scsi=SS got=N [sense=<hex>]]   (a request carried out: status, bytes delivered, sense)
//   close L: result=0|1          (L is ? for a handle the stack does not know)
#pragma once

#include "storage_stack.h"

#include <string>

namespace sim {

// Applies a scenario to the stack; false (and `error` set) for a token it does not know.
bool applyScenario(StorageStack& stack, const std::string& scenario, std::string* error);

// Formats one call as a log line (without the newline).
std::string formatCall(const Call& call);

}  // namespace sim
