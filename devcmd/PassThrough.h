// The request records handed to IOCTL_SCSI_PASS_THROUGH(_DIRECT).
//
// The headers have the layout of the published SCSI_PASS_THROUGH and
// SCSI_PASS_THROUGH_DIRECT records: 44 bytes in a 32-bit process, 56 in a
// 64-bit one (DataBufferOffset and DataBuffer are pointer-sized). The sense
// area follows the header at the next 8-byte boundary, the data area follows
// the 32-byte sense area.
//
//                       32-bit   64-bit
//   header size           44       56
//   sense area offset     48       56
//   data area offset      80       88
//   PassThroughRequest  65616    65624
//   DirectPassThrough      80       88
#pragma once

#include <cstddef>
#include <cstdint>

namespace scsi {

constexpr uint32_t kIoctlPassThrough = 0x4D004;
constexpr uint32_t kIoctlPassThroughDirect = 0x4D014;

constexpr uint8_t kDataOut = 0;  // SCSI_IOCTL_DATA_OUT
constexpr uint8_t kDataIn = 1;   // SCSI_IOCTL_DATA_IN

constexpr uint8_t kTargetId = 1;
constexpr uint8_t kSenseRequested = 24;
constexpr uint32_t kTimeoutDataIn = 2;    // seconds
constexpr uint32_t kTimeoutDataOut = 10;  // seconds

constexpr uint32_t kSenseAreaSize = 32;
constexpr uint32_t kDataAreaSize = 65536;

// SCSI INQUIRY, allocation length 36.
constexpr uint8_t kInquiryCdb[6] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
constexpr uint32_t kInquiryLength = 36;

}  // namespace scsi

struct ScsiPassThroughHeader {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    uintptr_t DataBufferOffset;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

struct ScsiPassThroughDirectHeader {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    void* DataBuffer;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

struct PassThroughRequest {
    ScsiPassThroughHeader header;
#if UINTPTR_MAX == 0xFFFFFFFFu
    uint32_t filler;
#endif
    uint8_t sense[scsi::kSenseAreaSize];
    uint8_t data[scsi::kDataAreaSize];
};

struct DirectPassThroughRequest {
    ScsiPassThroughDirectHeader header;
#if UINTPTR_MAX == 0xFFFFFFFFu
    uint32_t filler;
#endif
    uint8_t sense[scsi::kSenseAreaSize];
};

namespace scsi {

constexpr uint32_t kHeaderSize = sizeof(ScsiPassThroughHeader);
constexpr uint32_t kSenseOffset = offsetof(PassThroughRequest, sense);
constexpr uint32_t kDataOffset = offsetof(PassThroughRequest, data);
constexpr uint32_t kRequestSize = sizeof(PassThroughRequest);
constexpr uint32_t kDirectRequestSize = sizeof(DirectPassThroughRequest);

}  // namespace scsi

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ScsiPassThroughHeader) == 44, "32-bit SCSI_PASS_THROUGH is 44 bytes");
static_assert(sizeof(ScsiPassThroughDirectHeader) == 44, "32-bit SCSI_PASS_THROUGH_DIRECT is 44 bytes");
static_assert(offsetof(PassThroughRequest, sense) == 48, "sense area at 48");
static_assert(offsetof(PassThroughRequest, data) == 80, "data area at 80");
static_assert(sizeof(PassThroughRequest) == 65616, "PassThroughRequest is 65616 bytes");
static_assert(sizeof(DirectPassThroughRequest) == 80, "DirectPassThroughRequest is 80 bytes");
#else
static_assert(sizeof(ScsiPassThroughHeader) == 56, "64-bit SCSI_PASS_THROUGH is 56 bytes");
static_assert(sizeof(ScsiPassThroughDirectHeader) == 56, "64-bit SCSI_PASS_THROUGH_DIRECT is 56 bytes");
static_assert(offsetof(PassThroughRequest, sense) == 56, "sense area right after the header");
static_assert(offsetof(PassThroughRequest, data) == 88, "data area after the sense area");
static_assert(sizeof(PassThroughRequest) == 65624, "PassThroughRequest is 65624 bytes");
static_assert(sizeof(DirectPassThroughRequest) == 88, "DirectPassThroughRequest is 88 bytes");
#endif
static_assert(offsetof(ScsiPassThroughHeader, Cdb) + 16 <= sizeof(ScsiPassThroughHeader), "Cdb ends the header");
static_assert(offsetof(PassThroughRequest, data) - offsetof(PassThroughRequest, sense) == 32, "32-byte sense area");
