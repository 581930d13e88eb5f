// The device's control folder: `state` (the recorder's state, rewritten after
// every command), `log` (one line per command cycle) and `ctl`, a FIFO that
// takes one instruction a line:
//   fault <fault words>      (see faults.h)
//   clear-faults
//   power-on-attention       unit attention for the next command
//   unplug / plug            detach from / attach to the controller
//   reset-recorder           back to the factory state
//   set-clock YYYY-MM-DD hh:mm:ss   the recorder's clock
// Each instruction is answered in the log with "ctl <line>: ok" or an error.
#pragma once

#include "scsi_disk.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace usbdev {

class ControlDir {
public:
    ControlDir(std::string dir, ScsiDisk& disk);
    ~ControlDir();
    bool open(std::string* error);

    void log(const std::string& line);
    void writeState();
    // Carries out one instruction; false with a reason for what it does not know.
    bool apply(const std::string& line, std::string* error);
    // Reads `ctl` until the process ends; run on a thread of its own.
    void serveFifo();

    std::function<bool()> unplug;
    std::function<bool()> plug;

private:
    std::string m_dir;
    ScsiDisk& m_disk;
    std::mutex m_logMutex;
    std::FILE* m_log = nullptr;
};

}  // namespace usbdev
