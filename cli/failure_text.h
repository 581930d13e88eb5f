// One sentence for each way a command can fail: what happened, from the
// platform error and the SCSI status and sense, and what to do about it.
#pragma once

#include "TransferRecord.h"
#include "exit_status.h"

#include <string>

namespace kvcli {

struct FailureReport {
    ExitStatus status;
    std::string sentence;  // without the location
};

// Whether a platform error means the system denied access.
bool isPermissionError(uint32_t osError);

// `action` names what failed, as in "logging in" or "reading the clock".
FailureReport describeTransferFailure(const TransferFailure& failure, const std::string& action);

// Discovery found nothing: at a named place, or anywhere; denied is true when
// some candidate could not be opened because access was denied (osError).
FailureReport describeNoRecorder(bool named, bool denied, uint32_t deniedError);

}  // namespace kvcli
