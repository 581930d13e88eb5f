// The commands, each over the recorders that were found and logged in. One
// Result per recorder, in the order they were found.
#pragma once

#include "management.h"
#include "options.h"
#include "recorders.h"
#include "report.h"

#include <string>
#include <vector>

namespace kvcli {

// What the command sends, worked out before anything is sent.
struct CommandInput {
    DeviceTime time{};                             // time set
    char policeNumber[kPoliceNumberBufferSize]{};  // id set
    std::string newPassword;                       // password change
};

// Logs in on each recorder; the ones refused or failed get their result and
// are left out of `loggedIn` (indexes into `recorders`).
void logIn(std::vector<Recorder>& recorders, const std::string& password, std::vector<Result>& results,
           std::vector<size_t>* loggedIn);

// Runs the command on the recorders of `which`, filling their results.
void runCommand(const Options& options, const CommandInput& input, std::vector<Recorder>& recorders,
                const std::vector<size_t>& which, std::vector<Result>& results);

}  // namespace kvcli
