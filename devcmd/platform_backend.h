// The backend behind platform_sim.cpp: whatever stands in for the Windows
// storage stack. With no backend installed every call fails the way Windows
// fails on a machine without such a drive.
#pragma once

#include "platform.h"

namespace plat {

class Backend {
public:
    virtual HANDLE createFile(const char* path, DWORD access, DWORD share, void* security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                 DWORD outSize, DWORD* returned, void* overlapped) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;
    virtual DWORD lastError() = 0;

protected:
    ~Backend() = default;
};

// Installs the backend (null: none) and returns the one it replaces.
Backend* setBackend(Backend* backend);
Backend* backend();

}  // namespace plat
