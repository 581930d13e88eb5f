// korvane-cli: the command line, the commands and their report, whatever the
// platform. main() only turns the platform's arguments into UTF-8.
#pragma once

#include "environment.h"

#include <string>
#include <vector>

namespace kvcli {

// Runs one command line (arguments without the program name, UTF-8) and
// returns the exit status.
int run(const std::vector<std::string>& args, Environment& env);

}  // namespace kvcli
