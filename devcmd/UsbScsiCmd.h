// The recorder as a device object: discovery, the vendor transport and the
// storage and management commands built on it.
#pragma once

#include "DeviceTime.h"
#include "GeneralStorageCmd.h"
#include "PassThrough.h"
#include "TransferRecord.h"
#include "VendorCdb.h"
#include "VolumeCandidates.h"
#include "platform.h"

class UsbScsiCmd : public GeneralStorageCmd {
public:
    // A sector of the storage commands.
    static constexpr uint32_t kSectorSize = 512;
    // WriteSectorStream sends at most this many sectors per command.
    static constexpr uint32_t kStreamChunkSectors = 64;
    // ReadSectors and WriteSectors carry the count in 16 bits.
    static constexpr uint32_t kMaxSectorCount = 0xFFFF;

    constexpr UsbScsiCmd() = default;
    UsbScsiCmd(const UsbScsiCmd&) = delete;
    UsbScsiCmd& operator=(const UsbScsiCmd&) = delete;

    // Scans the platform's volumes (PlatformVolumes: the drive letters D to Z
    // on Windows) for the recorder and keeps its handle. A handle kept by an
    // earlier successful Open is closed first.
    // 1 when a recorder answered, 0 when none did.
    int Open() override;
    // The same scan over the given volumes, in their order.
    int OpenFrom(VolumeSource& volumes);
    // The same scan over one path: a drive the user named, or one of
    // ListCandidatePaths.
    int OpenPath(const char* path);
    int WriteSectorStream(uint32_t count, const void* data) override;
    int Command03() override;
    int ReadByte(uint32_t address, uint8_t* out) override;
    int WriteByte(uint32_t address, const uint8_t* value) override;
    int ReadValue(int selector1, int selector2, int32_t* out) override;
    int ReadSectors(uint32_t address, uint32_t count, void* data) override;
    int WriteSectors(uint32_t address, uint32_t count, const void* data) override;
    int Command09(uint32_t address) override;
    int Command0A() override;
    // Releases the kept handle (if any) and forgets it; the variant stays. Always 1.
    int Close() override;
    // 0 none, 1 or 2: by which probe answer the recorder was identified.
    int GetVariant() override;
    int Command0D() override;
    // Releases nothing: only Close gives the handle back.
    ~UsbScsiCmd() override = default;

    HANDLE handle() const { return m_handle; }

    // Why the last failed transfer failed; Reason::None when none has failed
    // since Open. Open starts it afresh and, when a recorder answers, forgets
    // the refusals of the other drives it tried.
    const TransferFailure& lastFailure() const { return m_lastFailure; }
    // Every request of this object is shown to `observer` after it completes
    // (nullptr: none). The context is handed back unchanged.
    void setObserver(TransferObserver observer, void* context)
    {
        m_observer = observer;
        m_observerContext = context;
    }

    // Called by the transport: a request completed / a transfer failed.
    void noteRequest(const TransferTrace& trace) const
    {
        if (m_observer != nullptr)
            m_observer(m_observerContext, trace);
    }
    void noteFailure(const TransferFailure& failure) { m_lastFailure = failure; }

private:
    int sendNoData(uint8_t op, int direction);

    HANDLE m_handle = nullptr;
    int32_t m_variant = 0;
    TransferFailure m_lastFailure{};
    TransferObserver m_observer = nullptr;
    void* m_observerContext = nullptr;
};

// Direction argument of ExecuteVendorCommand.
constexpr int kDirectionIn = 1;
constexpr int kDirectionOut = 0;

// Sends a PassThroughRequest whose Cdb and data area the caller has filled, as
// a data-in request of `length` bytes on the device's handle. 1 when the
// transfer was delivered: the system call succeeded, the SCSI status is GOOD
// and the answer holds at least `length` bytes. A command answered with UNIT
// ATTENTION is sent once more, byte for byte as the first time. After a
// failure the device's lastFailure() says why.
int SendPassThrough(PassThroughRequest* request, uint32_t length, UsbScsiCmd* device);

// Sends the standard INQUIRY that `request` holds (fillInquiryRequest) on
// `handle`. Its answer is not examined: no result, no failure recorded.
void SendInquiry(PassThroughRequest* request, HANDLE handle, UsbScsiCmd* device);

// The one route of every vendor command after discovery. Stamps the signature
// into cdb bytes 0..2, then sends a buffered data-in request (direction 1) or a
// direct data-out request (any other direction). A data-in request for more
// than the data area holds is refused without a system call. 1 when the
// transfer was delivered (as SendPassThrough; a data-out transfer needs the
// system call and GOOD status), else 0; after a failure a data-in buffer is
// untouched.
int ExecuteVendorCommand(UsbScsiCmd* device, void* buffer, VendorCdb* cdb, uint32_t length,
                         int direction);
