#include "scsi_disk.h"

#include "hex.h"

#include "vendor_answer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace usbdev {
namespace {

constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kModeSense6 = 0x1A;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kPreventAllow = 0x1E;
constexpr uint8_t kReadFormatCapacities = 0x23;
constexpr uint8_t kReadCapacity10 = 0x25;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kSynchronizeCache10 = 0x35;
constexpr uint8_t kModeSense10 = 0x5A;

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

void putBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// The caching page (08h): no write cache, nothing to flush.
constexpr uint8_t kCachingPage[20] = {0x08, 0x12};

}  // namespace

ScsiDisk::ScsiDisk(sim::Recorder& recorder, std::vector<uint8_t> image)
    : m_recorder(recorder), m_image(std::move(image))
{
}

void ScsiDisk::addFault(const Fault& f)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back(f);
}

void ScsiDisk::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
    m_powerOnAttention = false;
}

void ScsiDisk::armPowerOnAttention()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_powerOnAttention = true;
}

Sense ScsiDisk::pendingSense() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sense;
}

void ScsiDisk::resetRecorder()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recorder.resetToFactory();
}

void ScsiDisk::setClock(const DeviceTime& t)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recorder.setClock(t);
}

std::string ScsiDisk::stateText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const DeviceTime t = m_recorder.now();
    char clock[64];
    std::snprintf(clock, sizeof clock, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string s;
    s += "password=" + hex(m_recorder.password.data(), m_recorder.password.size()) + "\n";
    s += "police_number=" + hex(m_recorder.policeNumber.data(), m_recorder.policeNumber.size()) + "\n";
    s += std::string("clock=") + clock + "\n";
    // The recorder's clock minus this machine's, in whole seconds.
    s += "clock_offset=" + std::to_string(static_cast<long long>(secondsOfLocal(t) - std::time(nullptr))) + "\n";
    s += "udisk_mode=" + std::to_string(m_recorder.uDiskMode ? 1 : 0) + "\n";
    s += "logins=" + std::to_string(m_recorder.loginCount) + "\n";
    s += "prevent_removal=" + std::to_string(m_preventRemoval ? 1 : 0) + "\n";
    s += "commands=" + std::to_string(m_commands) + "\n";
    s += "faults_pending=" + std::to_string(m_faults.size()) + "\n";
    return s;
}

bool ScsiDisk::takeFault(const uint8_t* cdb, bool vendor, Fault* out)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!it->matches(cdb, vendor))
            continue;
        *out = *it;
        if (--it->count <= 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

Outcome ScsiDisk::fail(const Sense& s)
{
    m_sense = s;
    Outcome o;
    o.status = CswStatus::Failed;
    return o;
}

Outcome ScsiDisk::execute(const Cbw& cbw, const std::vector<uint8_t>& dataOut)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_commands;
    Outcome o = executeLocked(cbw, dataOut);
    // Never more than the host asked for, and nothing when it sends instead.
    if (!cbw.dataIn)
        o.dataIn.clear();
    else if (o.dataIn.size() > cbw.dataLength)
        o.dataIn.resize(cbw.dataLength);
    return o;
}

Outcome ScsiDisk::executeLocked(const Cbw& cbw, const std::vector<uint8_t>& dataOut)
{
    const uint8_t* cdb = cbw.cdb.data();
    const uint8_t op = cdb[0];
    const bool vendor = sim::isVendorCdb(cdb);

    if (op != kRequestSense)
        m_sense = kNoSense;
    if (m_powerOnAttention && op != kInquiry && op != kRequestSense) {
        m_powerOnAttention = false;
        Outcome o = fail(kPowerOnReset);
        o.note = "power-on unit attention";
        return o;
    }

    Fault fault;
    const bool faulted = takeFault(cdb, vendor, &fault);
    Outcome o;
    if (faulted) {
        switch (fault.kind) {
        case FaultKind::CheckCondition:
        case FaultKind::UnitAttention:
            o = fail(fault.kind == FaultKind::UnitAttention ? kPowerOnReset : fault.sense);
            o.note = fault.kind == FaultKind::UnitAttention ? "fault unit-attention" : "fault check-condition";
            return o;
        case FaultKind::Stall:
            o = fail(kDataPhaseError);
            o.stall = true;
            o.note = "fault stall";
            return o;
        case FaultKind::Delay:
        case FaultKind::UnplugAfter:
            break;
        }
    }

    const uint32_t hostLength = cbw.dataLength;
    switch (op) {
    case kTestUnitReady:
    case kSynchronizeCache10:
        break;
    case kRequestSense: {
        o.dataIn.assign(kSenseSize, 0);
        writeSense(m_sense, o.dataIn.data());
        o.dataIn.resize(std::min<uint32_t>(kSenseSize, cdb[4]));
        m_sense = kNoSense;
        break;
    }
    case kInquiry: {
        if (cdb[1] & 0x01)  // no vital product data pages
            return fail(kInvalidFieldInCdb);
        uint8_t data[36] = {};
        sim::Recorder::answerInquiry(data, sizeof data, true);
        o.dataIn.assign(data, data + std::min<uint32_t>(sizeof data, be16(cdb + 3)));
        break;
    }
    case kReadCapacity10: {
        o.dataIn.assign(8, 0);
        putBe32(o.dataIn.data(), blocks() - 1);
        putBe32(o.dataIn.data() + 4, kBlockSizeBytes);
        break;
    }
    case kReadFormatCapacities: {
        // Capacity list header, then the current capacity as formatted media.
        o.dataIn.assign(12, 0);
        o.dataIn[3] = 8;
        putBe32(o.dataIn.data() + 4, blocks());
        o.dataIn[8] = 0x02;
        o.dataIn[10] = kBlockSizeBytes >> 8;
        o.dataIn[11] = kBlockSizeBytes & 0xFF;
        o.dataIn.resize(std::min<uint32_t>(12, be16(cdb + 7)));
        break;
    }
    case kModeSense6:
    case kModeSense10: {
        const uint8_t page = cdb[2] & 0x3F;
        if (page != 0x3F && page != 0x08)
            return fail(kInvalidFieldInCdb);
        const bool ten = op == kModeSense10;
        const uint32_t header = ten ? 8 : 4;
        o.dataIn.assign(header, 0);
        o.dataIn.insert(o.dataIn.end(), kCachingPage, kCachingPage + sizeof kCachingPage);
        const uint32_t length = uint32_t(o.dataIn.size()) - (ten ? 2 : 1);
        if (ten) {
            o.dataIn[0] = uint8_t(length >> 8);
            o.dataIn[1] = uint8_t(length);
        } else {
            o.dataIn[0] = uint8_t(length);
        }
        o.dataIn.resize(std::min<uint32_t>(uint32_t(o.dataIn.size()), ten ? be16(cdb + 7) : cdb[4]));
        break;
    }
    case kPreventAllow:
        m_preventRemoval = (cdb[4] & 0x01) != 0;
        break;
    case kStartStopUnit:
        m_stopped = (cdb[4] & 0x01) == 0;
        break;
    case kRead10:
    case kWrite10: {
        const uint32_t lba = be32(cdb + 2);
        const uint32_t count = be16(cdb + 7);
        if (uint64_t(lba) + count > blocks())
            return fail(kLbaOutOfRange);
        const size_t at = size_t(lba) * kBlockSizeBytes;
        const size_t bytes = size_t(count) * kBlockSizeBytes;
        if (op == kRead10) {
            o.dataIn.assign(m_image.begin() + at, m_image.begin() + at + std::min<size_t>(bytes, hostLength));
        } else {
            const size_t n = std::min(bytes, dataOut.size());
            std::memcpy(m_image.data() + at, dataOut.data(), n);
            o.dataOutTaken = uint32_t(n);
            if (onWrite)
                onWrite(m_image, lba, uint32_t((n + kBlockSizeBytes - 1) / kBlockSizeBytes));
        }
        break;
    }
    default:
        if (!vendor)
            return fail(kInvalidOpcode);
        std::vector<uint8_t> buffer(cbw.dataIn ? hostLength : 0, 0);
        const sim::VendorAnswer a =
            sim::answerVendor(m_recorder, cdb, buffer.empty() ? nullptr : buffer.data(),
                              cbw.dataIn ? hostLength : uint32_t(dataOut.size()));
        if (!a.accepted)
            return fail(kInvalidOpcode);
        if (cbw.dataIn) {
            buffer.resize(a.transferred);
            o.dataIn = std::move(buffer);
        } else {
            o.dataOutTaken = a.transferred;
        }
        break;
    }

    if (faulted && fault.kind == FaultKind::Delay) {
        o.delayMs = fault.delayMs;
        o.note = "fault delay " + std::to_string(fault.delayMs) + " ms";
    }
    if (faulted && fault.kind == FaultKind::UnplugAfter) {
        o.unplugAfter = true;
        o.note = "fault unplug-after";
    }
    return o;
}

}  // namespace usbdev
