// The outcome of a command on one recorder, and how it is printed: one line
// per recorder for people, one JSON document with --json.
#pragma once

#include "environment.h"
#include "exit_status.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace kvcli {

struct Result {
    std::string where;       // "G:", "/dev/sdb"; empty: no recorder at all
    ExitStatus code = kDone;
    std::string error;       // the failure's sentence (code != kDone)
    std::string line;        // what people read on success
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();  // the command's own

    void fail(ExitStatus status, const std::string& sentence)
    {
        code = status;
        error = sentence;
    }
    bool ok() const { return code == kDone; }
};

// "G: " or "/dev/sdb: ", before a sentence about that recorder.
std::string locationPrefix(const std::string& where);

// Prints the results (and every failure's sentence on standard error) and
// returns the exit status: 0, or the status of the first that failed.
int printResults(const std::vector<Result>& results, bool json, Environment& env);

}  // namespace kvcli
