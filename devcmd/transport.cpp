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

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
constexpr uint8_t kSenseKeyUnitAttention = 0x06;

struct SenseCodes {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

// Sense data in fixed (0x70, 0x71) or descriptor (0x72, 0x73) format, read
// only within the `n` bytes the stack returned; anything else reads as zeros.
SenseCodes parseSense(const uint8_t* sense, uint32_t n)
{
    SenseCodes c;
    if (n == 0)
        return c;
    const uint8_t responseCode = sense[0] & 0x7F;
    if (responseCode == 0x70 || responseCode == 0x71) {
        if (n > 2)
            c.key = sense[2] & 0x0F;
        if (n > 12)
            c.asc = sense[12];
        if (n > 13)
            c.ascq = sense[13];
    } else if (responseCode == 0x72 || responseCode == 0x73) {
        if (n > 1)
            c.key = sense[1] & 0x0F;
        if (n > 2)
            c.asc = sense[2];
        if (n > 3)
            c.ascq = sense[3];
    }
    return c;
}

// Reads what the stack wrote back into a record after a successful call: SCSI
// status, data bytes delivered, the sense bytes (at most those asked for).
template <typename Request>
SenseCodes readReply(const Request& request, TransferTrace& trace)
{
    const auto& h = request.header;
    trace.scsiStatus = h.ScsiStatus;
    trace.senseLength = h.SenseInfoLength < scsi::kSenseRequested ? h.SenseInfoLength : scsi::kSenseRequested;
    trace.sense = trace.senseLength > 0 ? request.sense : nullptr;
    trace.delivered = h.DataTransferLength;
    return parseSense(request.sense, trace.senseLength);
}

// Sends a request record through `send` (which makes the system call) and
// judges what came back. A command answered with UNIT ATTENTION goes out once
// more, the header, filler and sense area restored to what the caller handed
// in, so that the resend is the same request byte for byte.
template <typename Request, typename Send>
int transfer(Request& request, bool dataIn, uint32_t length, UsbScsiCmd* device, Send send)
{
    constexpr size_t kResent = offsetof(Request, sense) + scsi::kSenseAreaSize;
    uint8_t original[kResent];
    std::memcpy(original, &request, kResent);

    for (int attempt = 0;; ++attempt) {
        if (attempt > 0)
            std::memcpy(&request, original, kResent);

        TransferTrace trace;
        trace.cdb = request.header.Cdb;
        trace.cdbLength = request.header.CdbLength;
        trace.dataIn = dataIn;
        trace.length = length;
        trace.retried = attempt > 0;
        trace.systemCallOk = send() != 0;
        SenseCodes sense;
        if (!trace.systemCallOk) {
            trace.osError = plat::GetLastError();
        } else {
            sense = readReply(request, trace);
            trace.succeeded = trace.scsiStatus == kStatusGood && (!dataIn || trace.delivered >= length);
        }
        device->noteRequest(trace);
        if (trace.succeeded)
            return 1;

        const bool unitAttention = trace.systemCallOk && trace.scsiStatus == kStatusCheckCondition &&
                                   sense.key == kSenseKeyUnitAttention;
        if (unitAttention && attempt == 0)
            continue;

        TransferFailure failure;
        if (!trace.systemCallOk)
            failure.reason = TransferFailure::Reason::SystemCall;
        else if (trace.scsiStatus != kStatusGood)
            failure.reason = TransferFailure::Reason::ScsiStatus;
        else
            failure.reason = TransferFailure::Reason::ShortAnswer;
        failure.osError = trace.osError;
        failure.scsiStatus = trace.scsiStatus;
        failure.senseKey = sense.key;
        failure.asc = sense.asc;
        failure.ascq = sense.ascq;
        if (dataIn) {
            failure.expected = length;
            failure.delivered = trace.delivered;
        }
        device->noteFailure(failure);
        return 0;
    }
}

// A request beyond what the library sends: nothing goes out.
int refuse(UsbScsiCmd* device, uint32_t length)
{
    TransferFailure failure;
    failure.reason = TransferFailure::Reason::Refused;
    failure.expected = length;
    device->noteFailure(failure);
    return 0;
}

}  // namespace

void fillInquiryRequest(PassThroughRequest& r)
{
    std::memset(&r, 0, sizeof r);
    fillDataInHeader(r, sizeof scsi::kInquiryCdb, scsi::kInquiryLength);
    std::memcpy(r.header.Cdb, scsi::kInquiryCdb, sizeof scsi::kInquiryCdb);
}

void SendInquiry(PassThroughRequest* request, HANDLE handle, UsbScsiCmd* device)
{
    DWORD returned = 0;
    TransferTrace trace;
    trace.cdb = request->header.Cdb;
    trace.cdbLength = request->header.CdbLength;
    trace.length = scsi::kInquiryLength;
    trace.systemCallOk = plat::DeviceIoControl(handle, scsi::kIoctlPassThrough, request, scsi::kHeaderSize,
                                               request, scsi::kDataOffset + scsi::kInquiryLength,
                                               &returned, nullptr) != 0;
    if (trace.systemCallOk) {
        readReply(*request, trace);
        trace.succeeded = trace.scsiStatus == kStatusGood && trace.delivered >= scsi::kInquiryLength;
    }
    device->noteRequest(trace);
}

int SendPassThrough(PassThroughRequest* request, uint32_t length, UsbScsiCmd* device)
{
    if (length > scsi::kDataAreaSize)
        return refuse(device, length);
    fillDataInHeader(*request, 16, length);
    return transfer(*request, true, length, device, [&] {
        DWORD returned = 0;
        return plat::DeviceIoControl(device->handle(), scsi::kIoctlPassThrough, request, scsi::kHeaderSize,
                                     request, length + scsi::kDataOffset, &returned, nullptr);
    });
}

int ExecuteVendorCommand(UsbScsiCmd* device, void* buffer, VendorCdb* cdb, uint32_t length,
                         int direction)
{
    std::memcpy(cdb->bytes, vendor::kSignature, sizeof vendor::kSignature);

    if (direction == kDirectionIn) {
        // The data area holds at most 64 KiB; a larger read would overrun the record.
        if (length > scsi::kDataAreaSize)
            return refuse(device, length);
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
    return transfer(request, false, length, device, [&] {
        DWORD returned = 0;
        return plat::DeviceIoControl(device->handle(), scsi::kIoctlPassThroughDirect, &request,
                                     scsi::kDirectRequestSize, &request, scsi::kDirectRequestSize,
                                     &returned, nullptr);
    });
}
