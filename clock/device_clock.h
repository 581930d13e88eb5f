// The recorder's clock against the PC's: setting it on a second boundary, and
// measuring how far it is off.
#pragma once

#include "DeviceTime.h"
#include "UsbScsiCmd.h"

#include <cstdint>

namespace devclock {

struct SetResult {
    int result = 0;          // CmdSetTime's result
    DeviceTime sent{};       // the time that was sent
    int64_t sentAtMicros = 0;  // PC clock when the command went out
};

// Sets the clock of every device to the PC's local time. Aligned: first waits
// for the PC clock's next second boundary (at most one second), so that each
// recorder starts the second it is given when the PC does; the commands then
// go out one after the other. A command that the system held up (it arrived
// more than 8 ms after the boundary beyond what the commands before it took)
// is sent again at the next boundary, twice at most. Unaligned: at once,
// whatever part of the current second has passed.
void setClocks(UsbScsiCmd* const* devices, int count, bool aligned, SetResult* results);

struct OffsetResult {
    enum class Status {
        Measured,      // offsetMicros and tick hold the measurement
        TransferFailed,  // a get-time transfer failed (the device's failure record says why)
        NotValid,      // the recorder answered without a valid time (getTimeResult)
        NotTicking,    // its second did not change steadily within five seconds
    };
    Status status = Status::NotTicking;
    int getTimeResult = 0;  // the last CmdGetTime result
    DeviceTime tick{};      // the recorder's time just after its second changed
    // Recorder minus PC: positive when the recorder is ahead.
    int64_t offsetMicros = 0;
};

// Reads every device's clock until its second changes and compares that
// instant with the PC clock. Devices are polled in turn, so all are measured
// within about two seconds: coarsely first, then closely around the expected
// next change (once more when the close readings lie too far apart).
void measureOffsets(UsbScsiCmd* const* devices, int count, OffsetResult* results);

}  // namespace devclock
