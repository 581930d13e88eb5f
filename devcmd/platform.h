// The four operations of the Windows storage stack that the device library uses.
//
// Every device command reaches the recorder through exactly these calls. Which
// implementation stands behind them is chosen at build time:
//   platform_win32.cpp  calls kernel32 through the module's imports, at each use;
//   platform_sim.cpp    hands every call to an installed Backend (a simulated
//                       storage stack in tests and in the demo build);
//   platform_linux.cpp  block devices and the SG_IO ioctl on Linux.
#pragma once

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
// The Windows types the device library speaks in, for builds without <windows.h>.
typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int BOOL;
typedef void* LPVOID;
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#endif

namespace plat {

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                     DWORD outSize, DWORD* returned, void* overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();

// Whether an error code from GetLastError says that the platform refused
// access: ERROR_ACCESS_DENIED on Windows; EPERM (a command the caller may not
// send: vendor commands need CAP_SYS_RAWIO) or EACCES (a device node the caller
// may not open) on Linux.
bool IsAccessDenied(DWORD error);

// How many calls of this thread the platform has refused for want of
// permission so far. Compare two readings around an Open to learn whether a
// volume was skipped because of it. Counted on Linux only: the Windows builds
// ask for no error code where the scan skips a volume, so they read 0.
uint32_t AccessDenials();

}  // namespace plat
