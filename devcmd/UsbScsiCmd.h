// The recorder as a device object: discovery, the vendor transport and the
// storage and management commands built on it.
#pragma once

#include "DeviceTime.h"
#include "GeneralStorageCmd.h"
#include "PassThrough.h"
#include "TransferRecord.h"
#include "VendorCdb.h"
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

    // Scans the drive letters D to Z for the recorder and keeps its handle.
    // A handle kept by an earlier successful Open is closed first.
    // 1 when a recorder answered, 0 when none did.
    int Open() override;
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

    // Opens this one volume path (one of the discovery candidates, or a path
    // the user named) and sends it the INQUIRY and the probe as discovery does.
    // A handle kept by an earlier successful Open is closed first.
    // 1 when a recorder answered, 0 when none did.
    int OpenPath(const char* path);

    HANDLE handle() const { return m_handle; }

    // Why the last failed transfer failed (Reason::None since Open).
    const TransferFailure& lastFailure() const { return m_failure; }
    // Every request made through the transport is shown to the observer (null: none).
    void setObserver(TransferObserver observer, void* context)
    {
        m_observer = observer;
        m_observerContext = context;
    }

    // Used by the transport.
    void recordFailure(const TransferFailure& failure) { m_failure = failure; }
    void notifyObserver(const TransferTrace& trace) const
    {
        if (m_observer != nullptr)
            m_observer(m_observerContext, trace);
    }

private:
    int sendNoData(uint8_t op, int direction);
    // Opens one candidate and probes it; keeps the handle only for a recorder.
    // With noteOpenError a failed open is kept in the failure record.
    int probePath(const char* path, bool noteOpenError);

    HANDLE m_handle = nullptr;
    int32_t m_variant = 0;
    TransferFailure m_failure;
    TransferObserver m_observer = nullptr;
    void* m_observerContext = nullptr;
};

// The volume paths discovery tries, in order.
struct CandidatePaths {
    static constexpr int kMaxPaths = 64;
    static constexpr int kMaxPathLength = 32;
    int count = 0;
    char path[kMaxPaths][kMaxPathLength];
};
// Fills `out` with the candidates: \\.\D: to \\.\Z:.
void ListCandidatePaths(CandidatePaths& out);

// Direction argument of ExecuteVendorCommand.
constexpr int kDirectionIn = 1;
constexpr int kDirectionOut = 0;

// Sends a PassThroughRequest whose Cdb and data area the caller has filled, as
// a data-in request of `length` bytes on the device's handle. 1 on success.
int SendPassThrough(PassThroughRequest* request, uint32_t length, UsbScsiCmd* device);

// The one route of every vendor command after discovery. Stamps the signature
// into cdb bytes 0..2, then sends a buffered data-in request (direction 1) or a
// direct data-out request (any other direction). A data-in request for more
// than the data area holds is refused without a system call. 1 when the system
// call succeeded, else 0; after a failure a data-in buffer is untouched.
int ExecuteVendorCommand(UsbScsiCmd* device, void* buffer, VendorCdb* cdb, uint32_t length,
                         int direction);
