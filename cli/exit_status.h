// korvane-cli's exit statuses.
#pragma once

namespace kvcli {

enum ExitStatus {
    kDone = 0,          // done, on every recorder
    kRefused = 1,       // the recorder refused (wrong password, a refused set)
    kUsage = 2,         // the command line or an input was wrong
    kNoRecorder = 3,    // no recorder found
    kDeviceError = 4,   // a transfer failed, or the device misbehaved
    kPermission = 5,    // the system denied access to the device
};

}  // namespace kvcli
