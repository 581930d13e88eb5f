// What the device object remembers of its commands: why the last failed one
// failed, and an optional observer that sees every request as it completes.
//
// A transfer counts as delivered only when the system call succeeded, the
// SCSI status is GOOD and the answer holds at least the bytes the command
// reads. Everything else is a failed transfer, and the device object keeps its
// TransferFailure until the next failure replaces it (Open clears it).
#pragma once

#include <cstdint>

struct TransferFailure {
    enum class Reason : uint8_t {
        None,        // no command has failed since Open
        SystemCall,  // the pass-through call itself failed (osError)
        ScsiStatus,  // the command completed with a SCSI status other than GOOD
        ShortAnswer, // GOOD, but fewer data-in bytes than the command reads
        Refused,     // not sent: the request was beyond what the library sends
    };
    Reason reason = Reason::None;
    uint32_t osError = 0;    // the platform's error code after a failed call
    uint8_t scsiStatus = 0;  // 2: CHECK CONDITION
    uint8_t senseKey = 0;    // 6: UNIT ATTENTION, 5: ILLEGAL REQUEST
    uint8_t asc = 0;
    uint8_t ascq = 0;
    uint32_t expected = 0;   // data-in bytes the command reads
    uint32_t delivered = 0;  // data-in bytes the answer held
};

// One request as it went out and came back, for tracing (korvane-cli --verbose).
struct TransferTrace {
    const uint8_t* cdb = nullptr;
    uint8_t cdbLength = 0;
    bool dataIn = true;
    uint32_t length = 0;       // data length requested
    bool systemCallOk = false;
    uint32_t osError = 0;      // after a failed call (not asked for discovery's INQUIRY)
    uint8_t scsiStatus = 0;    // the reply fields below only after a successful call
    const uint8_t* sense = nullptr;  // sense bytes returned (senseLength of them)
    uint8_t senseLength = 0;
    uint32_t delivered = 0;
    bool succeeded = false;     // counted as delivered (see above)
    bool retried = false;       // this request is the one resend after UNIT ATTENTION
};

// Called after every request of a device object that has an observer.
using TransferObserver = void (*)(void* context, const TransferTrace& trace);
