// The least a backend can do and still look like a recorder at F: no decoding,
// no log. Benchmarks against it show the library's own cost, apart from the
// simulated storage stack's.
#pragma once

#include "platform_backend.h"

class BareRecorder : public plat::Backend {
public:
    HANDLE createFile(const char* path, DWORD access, DWORD share, void* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) override;
    // Answers every data-in request with 0xAA 0x55: the probe's first answer,
    // and a nonzero status byte.
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL closeHandle(HANDLE handle) override;
    DWORD lastError() override;
};
