#include "storage_stack.h"

#include "../devcmd/VendorCdb.h"
#include "vendor_answer.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

thread_local DWORD t_lastError = 0;

constexpr uint8_t kScsiGood = 0x00;
constexpr uint8_t kScsiCheckCondition = 0x02;
constexpr DWORD kErrorInvalidFunction = 1;
constexpr uint32_t kIoctlPassThrough = 0x4D004;
constexpr uint32_t kIoctlPassThroughDirect = 0x4D014;

bool isVendor(const std::array<uint8_t, 16>& cdb) { return isVendorCdb(cdb.data()); }

// What an ordinary disk says to a vendor command: ILLEGAL REQUEST, INVALID
// COMMAND OPERATION CODE.
constexpr SenseCode kInvalidOperationCode{0x05, 0x20, 0x00};

}  // namespace

StorageStack::StorageStack() = default;

StorageStack::~StorageStack() { uninstall(); }

StorageStack::Drive& StorageStack::drive(char letter) { return m_drives[(letter - 'A') % 26]; }

void StorageStack::setAbsent(char letter)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    drive(letter).kind = DriveKind::Absent;
}

void StorageStack::attachDisk(char letter)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    drive(letter) = Drive();
    drive(letter).kind = DriveKind::Disk;
}

Recorder& StorageStack::attachRecorder(char letter, int variant)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    Drive& d = drive(letter);
    d = Drive();
    d.kind = DriveKind::Recorder;
    d.recorder.setVariant(variant);
    return d.recorder;
}

Recorder* StorageStack::recorder(char letter)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    Drive& d = drive(letter);
    return d.kind == DriveKind::Recorder ? &d.recorder : nullptr;
}

DriveKind StorageStack::kind(char letter) const
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    return m_drives[(letter - 'A') % 26].kind;
}

void StorageStack::pullOut(char letter)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    drive(letter).pulled = true;
}

void StorageStack::failIoctl(int n, DWORD error, bool afterTransfer)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_failAt.push_back({m_ioctlCounter + n, error, afterTransfer});
}

void StorageStack::failIoctlsFrom(int n, DWORD error)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_failFrom = m_ioctlCounter + n;
    m_failFromError = error;
}

bool CommandSelector::matches(const std::array<uint8_t, 16>& cdb) const
{
    switch (kind) {
    case Kind::Any:
        return true;
    case Kind::Inquiry:
        return cdb[0] == 0x12;
    case Kind::Vendor:
        return isVendor(cdb) && (operation < 0 || cdb[3] == operation) &&
               (subOperation < 0 || cdb[4] == subOperation);
    }
    return false;
}

void StorageStack::answerCheckCondition(CommandSelector which, SenseCode sense, int times)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_answerFaults.push_back({which, true, sense, 0, times});
}

void StorageStack::answerShort(CommandSelector which, uint32_t bytes, int times)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_answerFaults.push_back({which, false, SenseCode{0, 0, 0}, bytes, times});
}

void StorageStack::useDescriptorSense(bool on)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_descriptorSense = on;
}

bool StorageStack::takeAnswerFault(const std::array<uint8_t, 16>& cdb, bool checkCondition,
                                   AnswerFault* fault)
{
    for (auto it = m_answerFaults.begin(); it != m_answerFaults.end(); ++it) {
        if (it->checkCondition != checkCondition || it->remaining == 0 || !it->which.matches(cdb))
            continue;
        // A device never reports UNIT ATTENTION to INQUIRY: it answers it and
        // keeps the condition for the next command.
        if (checkCondition && it->sense.key == kUnitAttention.key && cdb[0] == 0x12)
            continue;
        *fault = *it;
        if (it->remaining > 0 && --it->remaining == 0)
            m_answerFaults.erase(it);
        return true;
    }
    return false;
}

// Sense data as a device returns it, cut to the `room` bytes the request asked
// for: fixed format (18 bytes) or descriptor format (8 bytes, no descriptors).
void StorageStack::writeSense(uint8_t* sense, uint32_t room, SenseCode code, uint8_t* length) const
{
    uint8_t s[18] = {};
    uint32_t size = 0;
    if (m_descriptorSense) {
        s[0] = 0x72;
        s[1] = code.key;
        s[2] = code.asc;
        s[3] = code.ascq;
        size = 8;
    } else {
        s[0] = 0x70;
        s[2] = code.key;
        s[7] = 10;  // additional sense length
        s[12] = code.asc;
        s[13] = code.ascq;
        size = 18;
    }
    size = std::min(size, room);
    std::memcpy(sense, s, size);
    *length = static_cast<uint8_t>(size);
}

void StorageStack::scriptStatus(uint8_t subOperation, uint8_t status)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_scripted.emplace_back(subOperation, status);
}

std::vector<Call> StorageStack::log() const
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    return m_log;
}

void StorageStack::clearLog()
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_log.clear();
}

std::vector<Call> StorageStack::vendorCalls() const
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    std::vector<Call> out;
    for (const Call& c : m_log)
        if (c.kind == Call::Kind::DeviceIoControl && isVendor(c.request.cdb))
            out.push_back(c);
    return out;
}

std::vector<Call> StorageStack::callsOf(Call::Kind kind) const
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    std::vector<Call> out;
    for (const Call& c : m_log)
        if (c.kind == kind)
            out.push_back(c);
    return out;
}

int StorageStack::openHandleCount() const
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    return static_cast<int>(m_handles.size());
}

void StorageStack::install()
{
    plat::setBackend(this);
    m_installed = true;
}

void StorageStack::uninstall()
{
    if (m_installed && plat::backend() == this)
        plat::setBackend(nullptr);
    m_installed = false;
}

void StorageStack::setObserver(Observer observer, void* context)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    m_observer = observer;
    m_observerContext = context;
}

void StorageStack::record(Call&& call)
{
    m_log.push_back(std::move(call));
    if (m_observer)
        m_observer(m_log.back(), m_observerContext);
}

std::vector<StorageStack::OpenHandle>::iterator StorageStack::findHandle(HANDLE handle)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    return std::find_if(m_handles.begin(), m_handles.end(),
                        [value](const OpenHandle& h) { return h.value == value; });
}

BOOL StorageStack::fail(Call& call, DWORD error)
{
    t_lastError = error;
    call.result = 0;
    call.error = error;
    record(std::move(call));
    return 0;
}

bool StorageStack::takeInjectedFailure(InjectedFailure* failure)
{
    for (auto it = m_failAt.begin(); it != m_failAt.end(); ++it) {
        if (it->at == m_ioctlCounter) {
            *failure = *it;
            m_failAt.erase(it);
            return true;
        }
    }
    if (m_failFrom > 0 && m_ioctlCounter >= m_failFrom) {
        *failure = {m_ioctlCounter, m_failFromError, false};
        return true;
    }
    return false;
}

HANDLE StorageStack::createFile(const char* path, DWORD access, DWORD share, void* security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    Call call(Call::Kind::CreateFile);
    call.path = path ? path : "";
    call.access = access;
    call.share = share;
    call.disposition = disposition;
    call.flags = flags;
    call.securityNull = security == nullptr;
    call.templateNull = templateFile == nullptr;

    // A volume path: \\.\X:
    const std::string& p = call.path;
    if (p.size() != 6 || p.compare(0, 4, "\\\\.\\") != 0 || p[5] != ':' || p[4] < 'A' || p[4] > 'Z') {
        fail(call, kErrorFileNotFound);
        return INVALID_HANDLE_VALUE;
    }
    const char letter = p[4];
    Drive& d = drive(letter);
    if (d.kind == DriveKind::Absent || d.pulled) {
        fail(call, kErrorFileNotFound);
        return INVALID_HANDLE_VALUE;
    }
    const uintptr_t value = m_nextHandle;
    m_nextHandle += 4;
    m_handles.push_back({value, letter});
    call.handle = reinterpret_cast<HANDLE>(value);
    call.letter = letter;
    call.result = value;
    t_lastError = 0;
    record(std::move(call));
    return reinterpret_cast<HANDLE>(value);
}

BOOL StorageStack::closeHandle(HANDLE handle)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    Call call(Call::Kind::CloseHandle);
    call.handle = handle;
    auto it = findHandle(handle);
    if (it == m_handles.end())
        return fail(call, kErrorInvalidHandle);
    call.letter = it->letter;
    m_handles.erase(it);
    call.result = 1;
    record(std::move(call));
    return 1;
}

DWORD StorageStack::lastError()
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    Call call(Call::Kind::GetLastError);
    call.result = t_lastError;
    record(std::move(call));
    return t_lastError;
}

BOOL StorageStack::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned, void* overlapped)
{
    std::lock_guard<RecursiveLock> lock(m_mutex);
    ++m_ioctlCounter;
    Call call(Call::Kind::DeviceIoControl);
    call.handle = device;
    call.code = code;
    call.inSize = inSize;
    call.outSize = outSize;
    call.inEqualsOut = in == out;
    call.overlappedNull = overlapped == nullptr;
    call.returnedNull = returned == nullptr;

    auto it = findHandle(device);
    const bool direct = code == kIoctlPassThroughDirect;
    uint8_t* buffer = static_cast<uint8_t*>(out ? out : in);
    DWORD error = 0;
    const bool decoded = (code == kIoctlPassThrough || direct) &&
                         decodeRequest(static_cast<const uint8_t*>(in), inSize,
                                       std::max(inSize, outSize), direct, &call.request, &error);
    if (decoded && direct && call.request.dataIn != 1 && call.request.dataTransferLength > 0) {
        const uint8_t* data = reinterpret_cast<const uint8_t*>(uintptr_t(call.request.dataBufferOffset));
        call.dataOut.assign(data, data + call.request.dataTransferLength);
    }

    if (it == m_handles.end())
        return fail(call, kErrorInvalidHandle);
    call.letter = it->letter;
    // Synchronous handles: no overlapped structure, and the byte count is required.
    if (!call.overlappedNull || call.returnedNull)
        return fail(call, kErrorInvalidParameter);
    if (code != kIoctlPassThrough && !direct)
        return fail(call, kErrorInvalidFunction);
    if (!decoded)
        return fail(call, error);
    Drive& d = drive(it->letter);
    if (d.pulled)
        return fail(call, kErrorDeviceNotConnected);
    InjectedFailure injected{};
    if (takeInjectedFailure(&injected)) {
        if (injected.afterTransfer)
            carryOut(call, d, buffer, inSize, outSize, returned);
        return fail(call, injected.error);
    }
    carryOut(call, d, buffer, inSize, outSize, returned);
    t_lastError = 0;
    call.result = 1;
    record(std::move(call));
    return 1;
}

void StorageStack::carryOut(Call& call, Drive& d, uint8_t* buffer, DWORD inSize, DWORD outSize,
                            DWORD* returned)
{
    const DecodedRequest& q = call.request;
    // Where data-in bytes go: the record's data area, or the caller's buffer.
    uint8_t* dataIn = nullptr;
    if (q.dataIn == 1 && q.dataTransferLength > 0)
        dataIn = q.direct ? reinterpret_cast<uint8_t*>(uintptr_t(q.dataBufferOffset))
                          : buffer + q.dataBufferOffset;
    uint8_t scsiStatus = kScsiGood;
    uint32_t transferred = 0;
    SenseCode sense = kInvalidOperationCode;
    const bool recorderDrive = d.kind == DriveKind::Recorder;

    // A refused command is not carried out; a short answer is carried out, but
    // the bytes past its end never reach the data area.
    AnswerFault refusal{}, shortAnswer{};
    const bool refused = recorderDrive && takeAnswerFault(q.cdb, true, &refusal);
    const bool cutShort = !refused && recorderDrive && dataIn && takeAnswerFault(q.cdb, false, &shortAnswer);
    std::vector<uint8_t> before;
    if (cutShort)
        before.assign(dataIn, dataIn + q.dataTransferLength);

    if (refused) {
        scsiStatus = kScsiCheckCondition;
        sense = refusal.sense;
    } else if (q.cdb[0] == 0x12 && q.dataIn == 1) {  // INQUIRY
        transferred = std::min<uint32_t>(q.dataTransferLength, 36);
        if (dataIn)
            Recorder::answerInquiry(dataIn, transferred, recorderDrive);
    } else if (recorderDrive && isVendor(q.cdb)) {
        const VendorAnswer a = answerVendor(d.recorder, q.cdb.data(), dataIn, q.dataTransferLength);
        if (!a.accepted) {
            scsiStatus = kScsiCheckCondition;
        } else {
            transferred = a.transferred;
            if (q.cdb[3] == vendor::kOpProbe && m_pullAfterProbe)
                d.pulled = true;
            if (q.cdb[3] == vendor::kOpManagement && transferred > 0) {
                auto s = std::find_if(m_scripted.begin(), m_scripted.end(),
                                      [&](const std::pair<uint8_t, uint8_t>& e) { return e.first == q.cdb[4]; });
                if (s != m_scripted.end()) {
                    dataIn[0] = s->second;
                    m_scripted.erase(s);
                }
            }
        }
    } else {
        // An ordinary disk refuses vendor commands with CHECK CONDITION.
        scsiStatus = kScsiCheckCondition;
    }

    if (cutShort && shortAnswer.bytes < transferred) {
        std::memcpy(dataIn + shortAnswer.bytes, before.data() + shortAnswer.bytes,
                    transferred - shortAnswer.bytes);
        transferred = shortAnswer.bytes;
    }

    uint8_t senseLength = 0;
    if (scsiStatus == kScsiCheckCondition && q.senseInfoLength > 0)
        writeSense(buffer + q.senseInfoOffset, q.senseInfoLength, sense, &senseLength);
    completeHeader(buffer, scsiStatus, transferred, senseLength);
    call.replyStatus = scsiStatus;
    call.replyLength = transferred;
    call.replySense.assign(buffer + q.senseInfoOffset, buffer + q.senseInfoOffset + senseLength);
    *returned = q.direct ? inSize : std::min<DWORD>(outSize, uint32_t(q.dataBufferOffset) + transferred);
}

}  // namespace sim
