// The parsed command line.
#pragma once

#include "DeviceTime.h"
#include "recorders.h"

#include <string>

namespace kvcli {

enum class Command { List, Status, TimeGet, TimeSync, TimeSet, TimeCheck, IdGet, IdSet, PasswordChange, UDisk };

struct Options {
    Selector selector;
    std::string namedPath;   // the volume or device path of --drive / --device
    bool json = false;
    bool verbose = false;
    bool passwordStdin = false;
    Command command = Command::List;
    bool noAlign = false;    // time sync --no-align
    std::string timeText;    // time set
    std::string idText;      // id set (UTF-8)
};

// Parses the arguments (UTF-8, without the program name). Returns -1 when the
// command should run, else the exit status (help printed: 0; a usage error,
// explained on standard error: 2).
int parseOptions(const std::vector<std::string>& args, Options* options, Environment& env);

}  // namespace kvcli
