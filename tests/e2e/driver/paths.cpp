#include "paths.h"

#include <windows.h>

namespace e2e {

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(value, n) : std::wstring();
}

std::wstring withSlash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

}  // namespace

std::wstring programPath(const std::wstring& fileName) {
    return withSlash(environment(L"KV_E2E_PROGRAMS")) + fileName;
}

std::wstring freshWorkFile(const std::wstring& fileName) {
    std::wstring folder = environment(L"KV_E2E_WORK");
    if (folder.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"korvane-e2e";
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = withSlash(folder) + fileName;
    DeleteFileW(path.c_str());
    return path;
}

std::wstring besideDriver(const std::wstring& fileName) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

}  // namespace e2e
