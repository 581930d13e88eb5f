// Which recorders a command runs on: discovery over the library's candidate
// paths, or the one place the user named; each found recorder stays open in
// its own device object until the command is done with it.
#pragma once

#include "UsbScsiCmd.h"
#include "trace.h"

#include <memory>
#include <string>
#include <vector>

namespace kvcli {

struct Selector {
    enum class Kind { First, Drive, Device, All } kind = Kind::First;
    std::string value;  // the drive letter ("G:") or the device path
};

// A recorder that answered, open on its device object.
struct Recorder {
    std::string path;   // the path it was opened by
    std::string where;  // how the user names it: "G:" or "/dev/sdb"
    std::unique_ptr<UsbScsiCmd> device;
    std::unique_ptr<TraceTarget> trace;  // --verbose
};

struct Discovery {
    std::vector<Recorder> found;
    // Some candidate could not be opened (or probed) because access was denied.
    bool denied = false;
    uint32_t deniedError = 0;
};

// "G:" for a volume path \\.\G:, the path itself for anything else.
std::string whereOf(const std::string& path);
// The volume path of a drive letter ("g", "G:", "G:\" all name G); false for anything else.
bool drivePath(const std::string& drive, std::string* path);

// Opens what the selector names: the first recorder in the library's
// discovery order, the named one, or every one that answers. With a trace
// environment, every request (the probes included) is traced there.
Discovery discover(const Selector& selector, const std::string& namedPath, Environment* trace);

// Closes every recorder's handle.
void closeAll(std::vector<Recorder>& recorders);

}  // namespace kvcli
