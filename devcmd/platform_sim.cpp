// Backend-switched platform: the calls go to whichever Backend is installed.
#include "platform_backend.h"

#include <atomic>

namespace plat {
namespace {

std::atomic<Backend*> g_backend{nullptr};
thread_local DWORD t_lastError = 0;

constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorAccessDenied = 5;

}  // namespace

Backend* setBackend(Backend* backend) { return g_backend.exchange(backend); }
Backend* backend() { return g_backend.load(); }

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Backend* b = backend())
        return b->createFile(path, access, share, security, disposition, flags, templateFile);
    t_lastError = kErrorFileNotFound;
    return INVALID_HANDLE_VALUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                     DWORD outSize, DWORD* returned, void* overlapped)
{
    if (Backend* b = backend())
        return b->deviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    t_lastError = kErrorInvalidHandle;
    return 0;
}

BOOL CloseHandle(HANDLE handle)
{
    if (Backend* b = backend())
        return b->closeHandle(handle);
    t_lastError = kErrorInvalidHandle;
    return 0;
}

DWORD GetLastError()
{
    if (Backend* b = backend())
        return b->lastError();
    return t_lastError;
}

// The simulated stack speaks in Windows error codes.
bool IsAccessDenied(DWORD error) { return error == kErrorAccessDenied; }

uint32_t AccessDenials() { return 0; }

}  // namespace plat
