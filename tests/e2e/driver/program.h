// A program under test, started as a child process with extra environment
// variables; ended by force on destruction if it is still running.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

class Program {
public:
    using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    // Starts `exe` with the driver's environment plus `extra` (replacing
    // variables of the same name) less the names in `removed`. False and
    // `error` set when the process could not be created.
    bool start(const std::wstring& exe, const Environment& extra,
               const std::vector<std::wstring>& removed, std::string* error);

    DWORD processId() const { return m_info.dwProcessId; }
    DWORD threadId() const { return m_info.dwThreadId; }
    bool running() const;
    // Waits for the process to end; true and `exitCode` set when it did.
    bool waitForExit(DWORD timeoutMs, DWORD* exitCode);
    void terminate();
    // Threads the process has now; -1 when they cannot be listed.
    int threadCount() const;

private:
    PROCESS_INFORMATION m_info{};
};

}  // namespace e2e
