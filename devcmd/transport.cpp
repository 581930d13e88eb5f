// The pass-through transport: every vendor command after discovery travels here.
#include "UsbScsiCmd.h"
#include "requests.h"

#include <cstring>

#ifdef _WIN32
#include <winioctl.h>
#include <ntddscsi.h>
// The request headers must be the published records, byte for byte.
static_assert(sizeof(ScsiPassThroughHeader) == sizeof(SCSI_PASS_THROUGH), "header size");
static_assert(sizeof(ScsiPassThroughDirectHeader) == sizeof(SCSI_PASS_THROUGH_DIRECT), "header size");
static_assert(offsetof(ScsiPassThroughHeader, DataBufferOffset) ==
              offsetof(SCSI_PASS_THROUGH, DataBufferOffset), "DataBufferOffset");
static_assert(offsetof(ScsiPassThroughHeader, Cdb) == offsetof(SCSI_PASS_THROUGH, Cdb), "Cdb");
static_assert(offsetof(ScsiPassThroughDirectHeader, DataBuffer) ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer), "DataBuffer");
static_assert(offsetof(ScsiPassThroughDirectHeader, Cdb) == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb), "Cdb");
static_assert(IOCTL_SCSI_PASS_THROUGH == scsi::kIoctlPassThrough, "control code");
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == scsi::kIoctlPassThroughDirect, "control code");
#endif

namespace {

// Header fields shared by every request: target 1, 24 sense bytes after the header.
template <typename Header>
void fillCommonHeader(Header& h, uint8_t cdbLength, uint8_t dataIn, uint32_t length,
                      uint32_t timeout)
{
    h.Length = static_cast<uint16_t>(sizeof(Header));
    h.PathId = 0;
    h.TargetId = scsi::kTargetId;
    h.Lun = 0;
    h.CdbLength = cdbLength;
    h.SenseInfoLength = scsi::kSenseRequested;
    h.DataIn = dataIn;
    h.DataTransferLength = length;
    h.TimeOutValue = timeout;
    h.SenseInfoOffset = scsi::kSenseOffset;
}

// Data-in: the header of a buffered request whose data area receives `length` bytes.
void fillDataInHeader(PassThroughRequest& r, uint8_t cdbLength, uint32_t length)
{
    fillCommonHeader(r.header, cdbLength, scsi::kDataIn, length, scsi::kTimeoutDataIn);
    r.header.DataBufferOffset = scsi::kDataOffset;
}

// Shows a completed request to the device's observer and, when the system
// call failed, keeps the platform's error as the reason.
template <typename Header>
void completeRequest(UsbScsiCmd* device, const Header& h, const uint8_t* sense, bool dataIn,
                     uint32_t length, bool ok, DWORD osError)
{
    if (!ok) {
        TransferFailure failure;
        failure.reason = TransferFailure::Reason::SystemCall;
        failure.osError = osError;
        failure.expected = dataIn ? length : 0;
        device->recordFailure(failure);
    }
    TransferTrace trace;
    trace.cdb = h.Cdb;
    trace.cdbLength = h.CdbLength;
    trace.dataIn = dataIn;
    trace.length = length;
    trace.systemCallOk = ok;
    trace.osError = osError;
    trace.scsiStatus = h.ScsiStatus;
    trace.sense = sense;
    trace.senseLength = ok ? h.SenseInfoLength : 0;
    if (trace.senseLength > scsi::kSenseAreaSize)
        trace.senseLength = static_cast<uint8_t>(scsi::kSenseAreaSize);
    trace.delivered = ok && dataIn ? h.DataTransferLength : 0;
    trace.succeeded = ok;
    device->notifyObserver(trace);
}

}  // namespace

void fillInquiryRequest(PassThroughRequest& r)
{
    std::memset(&r, 0, sizeof r);
    fillDataInHeader(r, sizeof scsi::kInquiryCdb, scsi::kInquiryLength);
    std::memcpy(r.header.Cdb, scsi::kInquiryCdb, sizeof scsi::kInquiryCdb);
}

int SendPassThrough(PassThroughRequest* request, uint32_t length, UsbScsiCmd* device)
{
    if (length > scsi::kDataAreaSize)
        return 0;
    fillDataInHeader(*request, 16, length);
    DWORD returned = 0;
    const bool ok = plat::DeviceIoControl(device->handle(), scsi::kIoctlPassThrough, request,
                                          scsi::kHeaderSize, request, length + scsi::kDataOffset,
                                          &returned, nullptr) != 0;
    const DWORD error = ok ? 0 : plat::GetLastError();
    completeRequest(device, request->header, request->sense, true, length, ok, error);
    return ok ? 1 : 0;
}

int ExecuteVendorCommand(UsbScsiCmd* device, void* buffer, VendorCdb* cdb, uint32_t length,
                         int direction)
{
    std::memcpy(cdb->bytes, vendor::kSignature, sizeof vendor::kSignature);

    if (direction == kDirectionIn) {
        // The data area holds at most 64 KiB; a larger read would overrun the record.
        if (length > scsi::kDataAreaSize)
            return 0;
        PassThroughRequest request;
        std::memset(&request, 0, sizeof request);
        std::memcpy(request.header.Cdb, cdb->bytes, sizeof cdb->bytes);
        if (!SendPassThrough(&request, length, device))
            return 0;
        if (length > 0)
            std::memcpy(buffer, request.data, length);
        return 1;
    }

    DirectPassThroughRequest request;
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.header.Cdb, cdb->bytes, sizeof cdb->bytes);
    fillCommonHeader(request.header, 16, scsi::kDataOut, length, scsi::kTimeoutDataOut);
    request.header.DataBuffer = buffer;
    DWORD returned = 0;
    const bool ok = plat::DeviceIoControl(device->handle(), scsi::kIoctlPassThroughDirect,
                                          &request, scsi::kDirectRequestSize, &request,
                                          scsi::kDirectRequestSize, &returned, nullptr) != 0;
    const DWORD error = ok ? 0 : plat::GetLastError();
    completeRequest(device, request.header, request.sense, false, length, ok, error);
    return ok ? 1 : 0;
}
