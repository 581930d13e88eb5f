// Linux backend: the four storage-stack calls of the device library over a
// block device and the SG_IO ioctl.
//
// A handle is the descriptor of the opened device plus one, so that descriptor
// 0 is a valid handle and neither the null handle nor INVALID_HANDLE_VALUE
// names a descriptor. DeviceIoControl takes the same request records as the
// Windows stack, turns them into an sg_io_hdr and writes back what a Windows
// port driver returns: ScsiStatus, SenseInfoLength with the sense bytes at
// SenseInfoOffset, and DataTransferLength reduced by what the device did not
// transfer.
#include "PassThrough.h"
#include "platform.h"
#include "platform_linux.h"

#include <fcntl.h>
#include <scsi/sg.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace plat {
namespace {

thread_local DWORD t_lastError = 0;
thread_local uint32_t t_accessDenials = 0;

// Host and driver status of an sg_io_hdr that mean the command did not complete.
constexpr unsigned kHostNoConnect = 0x01;   // DID_NO_CONNECT
constexpr unsigned kHostTimeOut = 0x03;     // DID_TIME_OUT
constexpr unsigned kHostBadTarget = 0x04;   // DID_BAD_TARGET
constexpr unsigned kDriverStatusMask = 0x0F;
constexpr unsigned kDriverTimeOut = 0x06;   // DRIVER_TIMEOUT
constexpr unsigned kDriverSense = 0x08;     // DRIVER_SENSE: sense data is valid, not a failure

constexpr uint8_t kDataUnspecified = 2;     // SCSI_IOCTL_DATA_UNSPECIFIED

// Records the error of a failed call; the call then reports failure (0).
BOOL fail(int error)
{
    t_lastError = static_cast<DWORD>(error);
    if (error == EPERM || error == EACCES)
        ++t_accessDenials;
    return 0;
}

int descriptorOf(HANDLE handle)
{
    const intptr_t v = reinterpret_cast<intptr_t>(handle);
    return v > 0 && v - 1 <= INT_MAX ? static_cast<int>(v - 1) : -1;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 1); }

// The error an sg_io_hdr reports for a command that did not complete; 0 when it did.
int transportError(const sg_io_hdr_t& io)
{
    const unsigned driver = io.driver_status & kDriverStatusMask;
    if (io.host_status == kHostTimeOut || driver == kDriverTimeOut)
        return ETIMEDOUT;
    if (io.host_status == kHostNoConnect || io.host_status == kHostBadTarget)
        return ENODEV;
    if (io.host_status != 0 || (driver != 0 && driver != kDriverSense))
        return EIO;
    return 0;
}

// Where the data of a request lies: inside the record (buffered) or at the
// caller's address (direct).
uint8_t* dataOf(ScsiPassThroughHeader& h, uint8_t* record) { return record + h.DataBufferOffset; }
uint8_t* dataOf(ScsiPassThroughDirectHeader& h, uint8_t*) { return static_cast<uint8_t*>(h.DataBuffer); }

// Whether the data of a request lies where the request may put it.
bool dataInBounds(const ScsiPassThroughHeader& h, DWORD inSize, DWORD outSize)
{
    const uint64_t limit = h.DataIn == scsi::kDataIn ? outSize : inSize;
    return h.DataBufferOffset >= sizeof h && uint64_t(h.DataBufferOffset) + h.DataTransferLength <= limit;
}
bool dataInBounds(const ScsiPassThroughDirectHeader& h, DWORD, DWORD) { return h.DataBuffer != nullptr; }

// Bytes of the record that the call filled: the data area of a buffered
// data-in request, else the sense bytes, else the header.
DWORD returnedSize(const ScsiPassThroughHeader& h)
{
    if (h.DataIn == scsi::kDataIn && h.DataTransferLength > 0)
        return static_cast<DWORD>(h.DataBufferOffset + h.DataTransferLength);
    return h.SenseInfoLength > 0 ? h.SenseInfoOffset + h.SenseInfoLength : sizeof h;
}
DWORD returnedSize(const ScsiPassThroughDirectHeader& h)
{
    return h.SenseInfoLength > 0 ? h.SenseInfoOffset + h.SenseInfoLength : sizeof h;
}

template <typename Header>
BOOL passThrough(int fd, uint8_t* record, DWORD inSize, DWORD outSize, DWORD* returned)
{
    Header h;
    if (record == nullptr || inSize < sizeof h || outSize < sizeof h)
        return fail(EINVAL);
    std::memcpy(&h, record, sizeof h);

    // What a port driver checks before it sends anything.
    const uint32_t length = h.DataTransferLength;
    if (h.Length != sizeof h || h.CdbLength == 0 || h.CdbLength > sizeof h.Cdb)
        return fail(EINVAL);
    if (h.DataIn > kDataUnspecified || (h.DataIn == kDataUnspecified && length > 0))
        return fail(EINVAL);
    if (h.SenseInfoLength > 0 &&
        (h.SenseInfoOffset < sizeof h || uint64_t(h.SenseInfoOffset) + h.SenseInfoLength > outSize))
        return fail(EINVAL);
    if (length > 0 && !dataInBounds(h, inSize, outSize))
        return fail(EINVAL);

    sg_io_hdr_t io;
    std::memset(&io, 0, sizeof io);
    io.interface_id = 'S';
    io.dxfer_direction = length == 0                ? SG_DXFER_NONE
                         : h.DataIn == scsi::kDataIn ? SG_DXFER_FROM_DEV
                                                     : SG_DXFER_TO_DEV;
    io.cmd_len = h.CdbLength;
    io.mx_sb_len = h.SenseInfoLength;
    io.dxfer_len = length;
    io.dxferp = length > 0 ? dataOf(h, record) : nullptr;
    io.cmdp = h.Cdb;
    io.sbp = h.SenseInfoLength > 0 ? record + h.SenseInfoOffset : nullptr;
    // Windows counts seconds, SG_IO milliseconds.
    io.timeout = h.TimeOutValue > UINT_MAX / 1000 ? UINT_MAX : h.TimeOutValue * 1000;

    if (kernel().ioctl(fd, SG_IO, &io) < 0)
        return fail(errno);
    if (const int error = transportError(io))
        return fail(error);

    const uint32_t resid = io.resid <= 0 ? 0 : static_cast<uint32_t>(io.resid);
    h.ScsiStatus = io.status;
    h.SenseInfoLength = io.sb_len_wr < h.SenseInfoLength ? io.sb_len_wr : h.SenseInfoLength;
    h.DataTransferLength = resid < length ? length - resid : 0;
    std::memcpy(record, &h, sizeof h);
    if (returned != nullptr)
        *returned = returnedSize(h);
    return 1;
}

}  // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE)
{
    // Only existing devices are opened; nothing here creates a file.
    if (path == nullptr || disposition != OPEN_EXISTING) {
        fail(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    const int mode = writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
    // O_NONBLOCK: a drive without a medium still opens.
    const int fd = kernel().open(path, mode | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    return handleOf(fd);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, void* overlapped)
{
    const int fd = descriptorOf(device);
    if (fd < 0)
        return fail(EBADF);
    // Synchronous calls on one record that is both input and output.
    if (overlapped != nullptr || in != out)
        return fail(EINVAL);
    uint8_t* record = static_cast<uint8_t*>(in);
    if (code == scsi::kIoctlPassThrough)
        return passThrough<ScsiPassThroughHeader>(fd, record, inSize, outSize, returned);
    if (code == scsi::kIoctlPassThroughDirect)
        return passThrough<ScsiPassThroughDirectHeader>(fd, record, inSize, outSize, returned);
    return fail(ENOTTY);
}

BOOL CloseHandle(HANDLE handle)
{
    const int fd = descriptorOf(handle);
    if (fd < 0)
        return fail(EBADF);
    // The descriptor is released even when close reports an error: never retried.
    if (kernel().close(fd) < 0)
        return fail(errno);
    return 1;
}

DWORD GetLastError() { return t_lastError; }

bool IsAccessDenied(DWORD error) { return error == EPERM || error == EACCES; }

uint32_t AccessDenials() { return t_accessDenials; }

}  // namespace plat
