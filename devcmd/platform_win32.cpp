// Windows backend: each call goes straight to kernel32 through the import table.
#include "platform.h"

namespace plat {

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    return ::CreateFileA(path, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         disposition, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                     DWORD outSize, DWORD* returned, void* overlapped)
{
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned,
                             static_cast<LPOVERLAPPED>(overlapped));
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

DWORD GetLastError() { return ::GetLastError(); }

bool IsAccessDenied(DWORD error) { return error == ERROR_ACCESS_DENIED; }

uint32_t AccessDenials() { return 0; }

}  // namespace plat
