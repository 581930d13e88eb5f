#include "bare_recorder.h"

#include "PassThrough.h"

namespace {

const HANDLE kRecorderHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x40));

}  // namespace

HANDLE BareRecorder::createFile(const char* path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE)
{
    return path[4] == 'F' ? kRecorderHandle : INVALID_HANDLE_VALUE;
}

BOOL BareRecorder::deviceIoControl(HANDLE device, DWORD, void*, DWORD, void* out, DWORD outSize,
                                   DWORD* returned, void*)
{
    if (device != kRecorderHandle || outSize <= scsi::kDataOffset)
        return 0;
    uint8_t* data = static_cast<uint8_t*>(out) + scsi::kDataOffset;
    data[0] = 0xAA;
    if (outSize > scsi::kDataOffset + 1)
        data[1] = 0x55;
    *returned = outSize;
    return 1;
}

BOOL BareRecorder::closeHandle(HANDLE handle) { return handle == kRecorderHandle; }

DWORD BareRecorder::lastError() { return 0; }
