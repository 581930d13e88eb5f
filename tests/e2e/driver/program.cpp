#include "program.h"

#include "text.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace e2e {

namespace {

std::wstring upper(std::wstring s) {
    for (auto& c : s) c = wchar_t(std::towupper(c));
    return s;
}

// The environment block for the child: ours, edited. Names compare without case,
// as Windows does.
std::wstring environmentBlock(const Program::Environment& extra,
                              const std::vector<std::wstring>& removed) {
    std::map<std::wstring, std::wstring> vars;  // upper-cased name -> "Name=value"
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
            std::wstring entry = p;
            const size_t eq = entry.find(L'=', 1);  // "=C:=C:\" entries start with '='
            if (eq == std::wstring::npos) continue;
            vars[upper(entry.substr(0, eq))] = entry;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& name : removed) vars.erase(upper(name));
    for (const auto& [name, value] : extra) vars[upper(name)] = name + L"=" + value;
    std::wstring out;
    for (const auto& kv : vars) {
        out += kv.second;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

}  // namespace

Program::~Program() { terminate(); }

bool Program::start(const std::wstring& exe, const Environment& extra,
                    const std::vector<std::wstring>& removed, std::string* error) {
    terminate();
    std::wstring environment = environmentBlock(extra, removed);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &environment[0], nullptr, &startup,
                        &m_info)) {
        if (error) {
            *error = "cannot start " + narrow(exe) + " (error " +
                     std::to_string(GetLastError()) + ")";
        }
        m_info = {};
        return false;
    }
    return true;
}

bool Program::running() const {
    return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::waitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!m_info.hProcess) return false;
    if (WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(m_info.hProcess, exitCode);
    return true;
}

int Program::threadCount() const {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == m_info.dwProcessId;
    }
    CloseHandle(snapshot);
    return count;
}

void Program::terminate() {
    if (!m_info.hProcess) return;
    if (running()) {
        TerminateProcess(m_info.hProcess, 0xDEAD);
        WaitForSingleObject(m_info.hProcess, 5000);
    }
    CloseHandle(m_info.hProcess);
    CloseHandle(m_info.hThread);
    m_info = {};
}

}  // namespace e2e
