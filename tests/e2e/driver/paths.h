// Where the programs under test and the working files are: given by the runner
// in KV_E2E_PROGRAMS (the folder with korvane.exe and korvane-sim.exe) and
// KV_E2E_WORK (a folder for logs and pictures), as Windows paths.
#pragma once

#include <string>

namespace e2e {

std::wstring programPath(const std::wstring& fileName);
// A file in the working folder (created if needed); an existing file of that
// name is deleted.
std::wstring freshWorkFile(const std::wstring& fileName);
// A file beside the driver's own executable.
std::wstring besideDriver(const std::wstring& fileName);

}  // namespace e2e
