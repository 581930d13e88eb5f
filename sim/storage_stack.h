// A simulated Windows storage stack with drives behind the letters A to Z: some
// absent, some ordinary disks, some recorders. It stands behind the four
// platform calls (plat::Backend), parses the request records exactly as they
// arrive (32-bit or 64-bit layout), answers as the hardware would, records every
// call, and can be told to fail.
#pragma once

#include "platform_backend.h"
#include "recorder.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include "recursive_lock.h"
#include <string>
#include <vector>

namespace sim {

enum class DriveKind { Absent, Disk, Recorder };

// Windows error codes the stack reports.
constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorIoDevice = 1117;
constexpr DWORD kErrorDeviceNotConnected = 1167;

// Which requests reaching a recorder a fault applies to.
struct CommandSelector {
    enum class Kind { Any, Inquiry, Vendor };
    Kind kind = Kind::Any;
    int operation = -1;     // vendor command byte 3; -1: any
    int subOperation = -1;  // vendor command byte 4; -1: any

    static CommandSelector any() { return {}; }
    static CommandSelector inquiry() { return {Kind::Inquiry, -1, -1}; }
    static CommandSelector vendorOperation(uint8_t op) { return {Kind::Vendor, op, -1}; }
    static CommandSelector management(uint8_t sub) { return {Kind::Vendor, 0xFE, sub}; }
    bool matches(const std::array<uint8_t, 16>& cdb) const;
};

// Sense key, additional sense code and qualifier of a refused command.
struct SenseCode {
    uint8_t key, asc, ascq;
};
// ILLEGAL REQUEST, INVALID FIELD IN CDB.
constexpr SenseCode kIllegalRequest{0x05, 0x24, 0x00};
// UNIT ATTENTION, POWER ON, RESET, OR BUS DEVICE RESET OCCURRED.
constexpr SenseCode kUnitAttention{0x06, 0x29, 0x00};
// A fault that applies to every matching command, not only to the next ones.
constexpr int kEveryTime = -1;

// One request record as decoded from the bytes that arrived.
struct DecodedRequest {
    int layoutBits = 0;  // 32 or 64: which header layout the record had
    bool direct = false; // SCSI_PASS_THROUGH_DIRECT
    uint16_t length = 0;
    uint8_t scsiStatus = 0, pathId = 0, targetId = 0, lun = 0;
    uint8_t cdbLength = 0, senseInfoLength = 0, dataIn = 0;
    uint32_t dataTransferLength = 0, timeOutValue = 0;
    uint64_t dataBufferOffset = 0;  // buffered: offset; direct: the buffer address
    uint32_t senseInfoOffset = 0;
    std::array<uint8_t, 16> cdb{};
    // Every byte of the input record outside the header fields above was zero
    // (filler, sense area and, for buffered data-in, the data area apart from
    // the bytes a caller deliberately set).
    bool fillerAndSenseZero = true;
    // The data area of a buffered request as it arrived (first 16 bytes).
    std::array<uint8_t, 16> dataAreaHead{};
};

// One platform call, as recorded.
struct Call {
    enum class Kind { CreateFile, DeviceIoControl, CloseHandle, GetLastError };
    explicit Call(Kind k) : kind(k) {}
    Kind kind;
    // CreateFile
    std::string path;
    DWORD access = 0, share = 0, disposition = 0, flags = 0;
    bool securityNull = true, templateNull = true;
    // every call on a handle: the handle; CreateFile: the handle returned
    HANDLE handle = nullptr;
    char letter = 0;  // drive the handle belongs to, 0 if none
    // DeviceIoControl
    DWORD code = 0, inSize = 0, outSize = 0;
    bool inEqualsOut = false, overlappedNull = true, returnedNull = true;
    DecodedRequest request;
    std::vector<uint8_t> dataOut;  // bytes of a direct data-out request
    // A request that was carried out: what the stack wrote back into the header
    // (SCSI status, DataTransferLength) and the sense bytes it returned.
    uint8_t replyStatus = 0;
    uint32_t replyLength = 0;
    std::vector<uint8_t> replySense;
    // result of the call (BOOL, or the GetLastError value)
    uintptr_t result = 0;
    DWORD error = 0;  // last error set by the call (0 when it succeeded)
};

class StorageStack : public plat::Backend {
public:
    StorageStack();
    ~StorageStack();

    // Drives. Letters are 'A'..'Z'; everything starts absent.
    void setAbsent(char letter);
    void attachDisk(char letter);
    Recorder& attachRecorder(char letter, int variant = 1);
    Recorder* recorder(char letter);
    DriveKind kind(char letter) const;
    // Pulls the drive out: its handles stay valid but every request fails.
    void pullOut(char letter);

    // Fault injection.
    // The n-th DeviceIoControl from now (1: the next one) fails with `error`.
    // With `afterTransfer` the request is carried out (data-in bytes arrive)
    // before the call reports the failure, as after a data overrun.
    void failIoctl(int n, DWORD error = kErrorIoDevice, bool afterTransfer = false);
    // Every DeviceIoControl from the n-th from now on fails.
    void failIoctlsFrom(int n, DWORD error = kErrorIoDevice);
    // A recorder that answers its probe is pulled out right after the answer.
    void pullOutAfterDiscovery(bool on) { m_pullAfterProbe = on; }
    // Matching commands that reach a recorder are not carried out: they complete
    // with CHECK CONDITION and the sense data, no data (DataTransferLength 0),
    // the call itself succeeding. `times`: for the next so many matching
    // commands, or kEveryTime. UNIT ATTENTION is never given to INQUIRY, as on
    // a real device: the condition waits for the next matching command.
    void answerCheckCondition(CommandSelector which, SenseCode sense, int times = kEveryTime);
    // Matching data-in commands that reach a recorder are carried out, but
    // their answer holds at most `bytes` bytes (DataTransferLength reduced,
    // the data area beyond untouched), with status GOOD.
    void answerShort(CommandSelector which, uint32_t bytes, int times = kEveryTime);
    // Sense data in descriptor format (0x72) rather than fixed format (0x70).
    void useDescriptorSense(bool on);
    // The next management command with this sub-operation gets this status
    // byte instead of the recorder's own (queued in order per sub-operation).
    void scriptStatus(uint8_t subOperation, uint8_t status);

    // The record of every call since construction or the last clearLog().
    std::vector<Call> log() const;
    void clearLog();
    // Management (0xFE) and other vendor commands that reached a recorder.
    std::vector<Call> vendorCalls() const;
    // The recorded calls of one kind, in order.
    std::vector<Call> callsOf(Call::Kind kind) const;
    int openHandleCount() const;

    // Installs this stack behind the platform calls; uninstalls on destruction.
    void install();
    void uninstall();

    // plat::Backend
    HANDLE createFile(const char* path, DWORD access, DWORD share, void* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) override;
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned, void* overlapped) override;
    BOOL closeHandle(HANDLE handle) override;
    DWORD lastError() override;

    // Called with every recorded call (the demo build writes them to a file).
    using Observer = void (*)(const Call&, void* context);
    void setObserver(Observer observer, void* context);

private:
    struct Drive {
        DriveKind kind = DriveKind::Absent;
        bool pulled = false;
        Recorder recorder;
    };
    struct OpenHandle {
        uintptr_t value;
        char letter;
    };

    Drive& drive(char letter);
    std::vector<OpenHandle>::iterator findHandle(HANDLE handle);
    BOOL fail(Call& call, DWORD error);
    void record(Call&& call);
    struct InjectedFailure {
        int at;
        DWORD error;
        bool afterTransfer;
    };
    bool takeInjectedFailure(InjectedFailure* failure);
    struct AnswerFault {
        CommandSelector which;
        bool checkCondition;  // else a short answer
        SenseCode sense;
        uint32_t bytes;
        int remaining;  // kEveryTime, or how many more matching commands
    };
    // The first fault of this kind that applies to the command, used up once.
    bool takeAnswerFault(const std::array<uint8_t, 16>& cdb, bool checkCondition, AnswerFault* fault);
    void writeSense(uint8_t* sense, uint32_t room, SenseCode code, uint8_t* length) const;
    void carryOut(Call& call, Drive& d, uint8_t* buffer, DWORD inSize, DWORD outSize,
                  DWORD* returned);

    mutable RecursiveLock m_mutex;
    std::array<Drive, 26> m_drives;
    std::vector<OpenHandle> m_handles;
    uintptr_t m_nextHandle = 0x100;
    std::vector<Call> m_log;
    int m_ioctlCounter = 0;
    std::vector<InjectedFailure> m_failAt;
    int m_failFrom = 0;
    DWORD m_failFromError = 0;
    bool m_pullAfterProbe = false;
    std::vector<AnswerFault> m_answerFaults;
    bool m_descriptorSense = false;
    std::deque<std::pair<uint8_t, uint8_t>> m_scripted;
    Observer m_observer = nullptr;
    void* m_observerContext = nullptr;
    bool m_installed = false;
};

// Decodes a request record of either layout. False when the bytes are not a
// request record Windows would accept (wrong Length, sizes or offsets).
bool decodeRequest(const uint8_t* record, DWORD inSize, DWORD outSize, bool direct,
                   DecodedRequest* out, DWORD* error);
// Writes the fields a port driver returns (SCSI status, bytes transferred,
// sense bytes) into a record's header.
void completeHeader(uint8_t* record, uint8_t scsiStatus, uint32_t transferred, uint8_t senseLength);

}  // namespace sim
