// When a request counts as delivered: the system call, the SCSI status, the
// bytes the answer held; the one resend after UNIT ATTENTION; the failure
// record the device object keeps and the observer that sees every request.
#include "UsbScsiCmd.h"
#include "sim_fixture.h"

#include <functional>

using sim::Call;
using Reason = TransferFailure::Reason;

namespace {

// What an observer saw of one request, copied out of the trace.
struct Seen {
    std::vector<uint8_t> cdb;
    bool dataIn;
    uint32_t length;
    bool systemCallOk;
    uint32_t osError;
    uint8_t scsiStatus;
    std::vector<uint8_t> sense;
    uint32_t delivered;
    bool succeeded;
    bool retried;
};

void collect(void* context, const TransferTrace& t)
{
    static_cast<std::vector<Seen>*>(context)->push_back(
        {std::vector<uint8_t>(t.cdb, t.cdb + t.cdbLength), t.dataIn, t.length, t.systemCallOk, t.osError,
         t.scsiStatus, t.sense ? std::vector<uint8_t>(t.sense, t.sense + t.senseLength) : std::vector<uint8_t>(),
         t.delivered, t.succeeded, t.retried});
}

class TransferFailures : public SimTest {
protected:
    void SetUp() override { recorder = &connectRecorder(device); }

    // Management get-time: 8 bytes data-in.
    int getTime(uint8_t* buffer)
    {
        VendorCdb cdb{};
        cdb.bytes[3] = 0xFE;
        cdb.bytes[4] = 0x08;
        return ExecuteVendorCommand(&device, buffer, &cdb, 8, kDirectionIn);
    }
    // WriteSectors of one sector: a direct data-out request.
    int writeSector(const uint8_t* data) { return device.WriteSectors(7, 1, data); }

    UsbScsiCmd device;
    sim::Recorder* recorder = nullptr;
};

TEST_F(TransferFailures, CheckConditionIsAFailedTransfer)
{
    stack.answerCheckCondition(sim::CommandSelector::management(0x08), sim::kIllegalRequest);
    uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(getTime(buffer), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8), std::vector<uint8_t>(8, 9));

    // Sent once, answered as a real stack does: the call succeeded.
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 1u);
    expectDataInRequest(calls[0], 16, 8);
    EXPECT_EQ(calls[0].result, 1u);
    EXPECT_EQ(calls[0].replyStatus, 2);
    EXPECT_EQ(calls[0].replyLength, 0u);
    EXPECT_TRUE(callsOf(Call::Kind::GetLastError).empty());

    const TransferFailure& f = device.lastFailure();
    EXPECT_EQ(f.reason, Reason::ScsiStatus);
    EXPECT_EQ(f.osError, 0u);
    EXPECT_EQ(f.scsiStatus, 2);
    EXPECT_EQ(f.senseKey, 5);
    EXPECT_EQ(f.asc, 0x24);
    EXPECT_EQ(f.ascq, 0);
    EXPECT_EQ(f.expected, 8u);
    EXPECT_EQ(f.delivered, 0u);
}

TEST_F(TransferFailures, CheckConditionOnADataOutRequest)
{
    stack.answerCheckCondition(sim::CommandSelector::vendorOperation(0x08), sim::kIllegalRequest);
    uint8_t data[512] = {1, 2, 3};
    EXPECT_EQ(writeSector(data), 0);
    ASSERT_EQ(ioctls().size(), 1u);
    EXPECT_EQ(ioctls()[0].code, scsi::kIoctlPassThroughDirect);
    const TransferFailure& f = device.lastFailure();
    EXPECT_EQ(f.reason, Reason::ScsiStatus);
    EXPECT_EQ(f.scsiStatus, 2);
    EXPECT_EQ(f.senseKey, 5);
    EXPECT_EQ(f.asc, 0x24);
    EXPECT_EQ(f.expected, 0u);  // no data-in bytes were asked for
}

TEST_F(TransferFailures, ShortAnswerIsAFailedTransfer)
{
    stack.answerShort(sim::CommandSelector::management(0x08), 5, 1);
    uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(getTime(buffer), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8), std::vector<uint8_t>(8, 9));
    EXPECT_EQ(ioctls().size(), 1u);
    EXPECT_EQ(ioctls()[0].replyStatus, 0);
    EXPECT_EQ(ioctls()[0].replyLength, 5u);
    const TransferFailure& f = device.lastFailure();
    EXPECT_EQ(f.reason, Reason::ShortAnswer);
    EXPECT_EQ(f.scsiStatus, 0);
    EXPECT_EQ(f.senseKey, 0);
    EXPECT_EQ(f.expected, 8u);
    EXPECT_EQ(f.delivered, 5u);

    // An answer of exactly the bytes asked for is delivered; the record of the
    // failure stays until the next failure replaces it.
    EXPECT_EQ(getTime(buffer), 1);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(device.lastFailure().reason, Reason::ShortAnswer);
}

TEST_F(TransferFailures, FailedSystemCallKeepsThePlatformsError)
{
    stack.failIoctl(1, sim::kErrorDeviceNotConnected);
    uint8_t buffer[8] = {};
    EXPECT_EQ(getTime(buffer), 0);
    EXPECT_EQ(callsOf(Call::Kind::GetLastError).size(), 1u);
    const TransferFailure& f = device.lastFailure();
    EXPECT_EQ(f.reason, Reason::SystemCall);
    EXPECT_EQ(f.osError, sim::kErrorDeviceNotConnected);
    EXPECT_EQ(f.scsiStatus, 0);
}

TEST_F(TransferFailures, ReadBeyondTheDataAreaIsRecordedAsRefused)
{
    static uint8_t buffer[65537];
    VendorCdb cdb{};
    cdb.bytes[3] = 0x07;
    EXPECT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 65537, kDirectionIn), 0);
    EXPECT_TRUE(ioctls().empty());
    EXPECT_EQ(device.lastFailure().reason, Reason::Refused);
    EXPECT_EQ(device.lastFailure().expected, 65537u);
}

// UNIT ATTENTION once: the same request goes out again, and only once.
TEST_F(TransferFailures, UnitAttentionOnceIsResentByteForByte)
{
    uint8_t data[512];
    for (int i = 0; i < 512; ++i)
        data[i] = static_cast<uint8_t>(i * 3);
    const struct {
        const char* name;
        std::function<int()> send;
        sim::CommandSelector which;
    } cases[] = {
        {"data-in",
         [&] {
             uint8_t buffer[8] = {};
             const int r = getTime(buffer);
             EXPECT_EQ(buffer[0], 1);  // the answer to the resend arrived
             return r;
         },
         sim::CommandSelector::management(0x08)},
        {"data-out", [&] { return writeSector(data); }, sim::CommandSelector::vendorOperation(0x08)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        stack.clearLog();
        stack.answerCheckCondition(c.which, sim::kUnitAttention, 1);
        EXPECT_EQ(c.send(), 1);
        const auto calls = ioctls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].replyStatus, 2);
        EXPECT_EQ(calls[1].replyStatus, 0);
        expectSameRequest(calls[0], calls[1]);
        EXPECT_TRUE(calls[1].request.fillerAndSenseZero);  // the first answer's sense did not go back out
    }
    EXPECT_EQ(device.lastFailure().reason, Reason::None);
}

TEST_F(TransferFailures, UnitAttentionEveryTimeFailsAfterOneResend)
{
    stack.answerCheckCondition(sim::CommandSelector::management(0x08), sim::kUnitAttention);
    uint8_t buffer[8] = {9};
    EXPECT_EQ(getTime(buffer), 0);
    EXPECT_EQ(buffer[0], 9);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);
    expectSameRequest(calls[0], calls[1]);
    const TransferFailure& f = device.lastFailure();
    EXPECT_EQ(f.reason, Reason::ScsiStatus);
    EXPECT_EQ(f.senseKey, 6);
    EXPECT_EQ(f.asc, 0x29);
    EXPECT_EQ(f.ascq, 0);

    // Each command gets its own one resend.
    stack.clearLog();
    EXPECT_EQ(getTime(buffer), 0);
    EXPECT_EQ(ioctls().size(), 2u);
}

TEST_F(TransferFailures, OnlyUnitAttentionIsResent)
{
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"illegal request", [&] { stack.answerCheckCondition(sim::CommandSelector::any(), sim::kIllegalRequest, 1); }},
        {"not ready", [&] { stack.answerCheckCondition(sim::CommandSelector::any(), {0x02, 0x04, 0x01}, 1); }},
        {"short answer", [&] { stack.answerShort(sim::CommandSelector::any(), 0, 1); }},
        {"failed call", [&] { stack.failIoctl(1); }},
    };
    for (const auto& [name, arm] : faults) {
        SCOPED_TRACE(name);
        stack.clearLog();
        arm();
        uint8_t buffer[8] = {};
        EXPECT_EQ(getTime(buffer), 0);
        EXPECT_EQ(ioctls().size(), 1u);
    }
}

TEST_F(TransferFailures, UnitAttentionInDescriptorFormatIsRecognised)
{
    stack.useDescriptorSense(true);
    stack.answerCheckCondition(sim::CommandSelector::management(0x08), sim::kUnitAttention);
    uint8_t buffer[8] = {};
    EXPECT_EQ(getTime(buffer), 0);
    ASSERT_EQ(ioctls().size(), 2u);
    EXPECT_EQ(ioctls()[0].replySense.at(0), 0x72);
    EXPECT_EQ(device.lastFailure().senseKey, 6);
    EXPECT_EQ(device.lastFailure().asc, 0x29);
}

// ---------------------------------------------------------------------------
// Sense data as the stack returns it, in its two formats and cut short.

// Forwards to the simulated stack, then overwrites the status and sense bytes
// of the reply to the next vendor request, as another device might answer.
class RewrittenReply : public plat::Backend {
public:
    explicit RewrittenReply(sim::StorageStack& s) : m_stack(s) {}

    // `skip`: vendor requests to let pass unchanged first.
    void arm(std::vector<uint8_t> sense, uint8_t senseLength, int skip = 0)
    {
        m_sense = std::move(sense);
        m_senseLength = senseLength;
        m_skip = skip;
        m_armed = true;
    }

    HANDLE createFile(const char* p, DWORD a, DWORD s, void* sa, DWORD d, DWORD f, HANDLE t) override
    {
        return m_stack.createFile(p, a, s, sa, d, f, t);
    }
    BOOL deviceIoControl(HANDLE h, DWORD c, void* i, DWORD is, void* o, DWORD os, DWORD* r, void* ov) override
    {
        const BOOL ok = m_stack.deviceIoControl(h, c, i, is, o, os, r, ov);
        if (m_armed && static_cast<const ScsiPassThroughHeader*>(o)->Cdb[0] == 0xFA && m_skip-- == 0) {
            m_armed = false;
            uint8_t* record = static_cast<uint8_t*>(o);
            record[2] = 2;  // CHECK CONDITION
            record[7] = m_senseLength;
            std::memset(record + 12, 0, 4);
            std::memcpy(record + scsi::kSenseOffset, m_sense.data(), m_sense.size());
        }
        return ok;
    }
    BOOL closeHandle(HANDLE h) override { return m_stack.closeHandle(h); }
    DWORD lastError() override { return m_stack.lastError(); }

private:
    sim::StorageStack& m_stack;
    std::vector<uint8_t> m_sense;
    uint8_t m_senseLength = 0;
    int m_skip = 0;
    bool m_armed = false;
};

TEST_F(TransferFailures, SenseIsReadInBothFormatsOnlyWithinTheLengthReturned)
{
    // 24 bytes: fixed format with key 6 at byte 2 and 29/00 at 12-13 unless noted.
    auto fixedFormat = [](uint8_t code, uint8_t key, uint8_t asc, uint8_t ascq) {
        std::vector<uint8_t> s(24, 0);
        s[0] = code;
        s[2] = key;
        s[7] = 10;
        s[12] = asc;
        s[13] = ascq;
        return s;
    };
    auto descriptorFormat = [](uint8_t code, uint8_t key, uint8_t asc, uint8_t ascq) {
        std::vector<uint8_t> s(24, 0);
        s[0] = code;
        s[1] = key;
        s[2] = asc;
        s[3] = ascq;
        return s;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> sense;
        uint8_t length;
        uint8_t key, asc, ascq;
        size_t requests;  // 2 when taken for UNIT ATTENTION
    } cases[] = {
        {"fixed, current", fixedFormat(0x70, 0x05, 0x24, 0x00), 18, 5, 0x24, 0, 1},
        {"fixed, deferred, valid bit and flags", fixedFormat(0xF1, 0xE6, 0x29, 0x02), 18, 6, 0x29, 2, 2},
        {"descriptor, current", descriptorFormat(0x72, 0x06, 0x29, 0x00), 8, 6, 0x29, 0, 2},
        {"descriptor, deferred", descriptorFormat(0x73, 0x05, 0x20, 0x01), 8, 5, 0x20, 1, 1},
        {"fixed, cut before the codes", fixedFormat(0x70, 0x06, 0x29, 0x00), 12, 6, 0, 0, 2},
        {"fixed, cut before the key", fixedFormat(0x70, 0x06, 0x29, 0x00), 2, 0, 0, 0, 1},
        {"descriptor, cut after the key", descriptorFormat(0x72, 0x06, 0x29, 0x07), 2, 6, 0, 0, 2},
        {"no sense returned, stale bytes", fixedFormat(0x70, 0x06, 0x29, 0x00), 0, 0, 0, 0, 1},
        {"unknown response code", fixedFormat(0x7F, 0x06, 0x29, 0x00), 18, 0, 0, 0, 1},
        {"length beyond the bytes asked for", fixedFormat(0x70, 0x05, 0x24, 0x00), 200, 5, 0x24, 0, 1},
    };
    RewrittenReply backend(stack);
    plat::setBackend(&backend);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        stack.clearLog();
        backend.arm(c.sense, c.length);
        uint8_t buffer[8] = {};
        getTime(buffer);
        const TransferFailure& f = device.lastFailure();
        // A resend answered GOOD leaves the failure of the case before.
        if (c.requests == 1) {
            EXPECT_EQ(f.reason, Reason::ScsiStatus);
            EXPECT_EQ(f.senseKey, c.key);
            EXPECT_EQ(f.asc, c.asc);
            EXPECT_EQ(f.ascq, c.ascq);
        }
        EXPECT_EQ(ioctls().size(), c.requests);
    }
    plat::setBackend(nullptr);
    stack.install();
}

// Bytes in the data area of a refused command are no answer: a probe that
// looks like a recorder's and a status byte of 1 count for nothing.
TEST_F(TransferFailures, DataAreaOfARefusedCommandIsNotRead)
{
    RewrittenReply backend(stack);
    plat::setBackend(&backend);
    const std::vector<uint8_t> illegal = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0};
    backend.arm(illegal, 18, 2);  // the probes of the disks at D and E pass
    EXPECT_EQ(device.Open(), 0);  // the probe's answer AA 55 arrived, but with CHECK CONDITION
    EXPECT_EQ(device.lastFailure().reason, Reason::ScsiStatus);

    plat::setBackend(nullptr);
    stack.install();
    ASSERT_EQ(device.Open(), 1);
    plat::setBackend(&backend);
    backend.arm(illegal, 18);
    uint8_t buffer[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(getTime(buffer), 0);  // the status byte 1 arrived, but with CHECK CONDITION
    EXPECT_EQ(buffer[0], 7);
    plat::setBackend(nullptr);
    stack.install();
}

// The observer sees what the resend and the failure record are made of.
TEST_F(TransferFailures, ObserverSeesEveryRequestAsItCameBack)
{
    std::vector<Seen> seen;
    device.setObserver(collect, &seen);
    stack.answerCheckCondition(sim::CommandSelector::management(0x08), sim::kUnitAttention, 1);
    uint8_t buffer[8] = {};
    ASSERT_EQ(getTime(buffer), 1);
    stack.failIoctl(1, sim::kErrorIoDevice);
    uint8_t data[512] = {};
    EXPECT_EQ(writeSector(data), 0);

    ASSERT_EQ(seen.size(), 3u);
    const std::vector<uint8_t> getTimeCdb = {0xFA, 0x55, 0x66, 0xFE, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Seen& first = seen[0];
    EXPECT_EQ(first.cdb, getTimeCdb);
    EXPECT_TRUE(first.dataIn);
    EXPECT_EQ(first.length, 8u);
    EXPECT_TRUE(first.systemCallOk);
    EXPECT_EQ(first.scsiStatus, 2);
    EXPECT_EQ(first.sense, ioctls()[0].replySense);
    ASSERT_EQ(first.sense.size(), 18u);
    EXPECT_EQ(first.sense[2], 6);
    EXPECT_EQ(first.delivered, 0u);
    EXPECT_FALSE(first.succeeded);
    EXPECT_FALSE(first.retried);

    const Seen& resend = seen[1];
    EXPECT_EQ(resend.cdb, getTimeCdb);
    EXPECT_EQ(resend.scsiStatus, 0);
    EXPECT_TRUE(resend.sense.empty());
    EXPECT_EQ(resend.delivered, 8u);
    EXPECT_TRUE(resend.succeeded);
    EXPECT_TRUE(resend.retried);

    const Seen& failed = seen[2];
    EXPECT_FALSE(failed.dataIn);
    EXPECT_EQ(failed.length, 512u);
    EXPECT_EQ(failed.cdb[3], 0x08);
    EXPECT_FALSE(failed.systemCallOk);
    EXPECT_EQ(failed.osError, sim::kErrorIoDevice);
    EXPECT_FALSE(failed.succeeded);

    // Without an observer nothing more is collected.
    device.setObserver(nullptr, nullptr);
    getTime(buffer);
    EXPECT_EQ(seen.size(), 3u);
}

// ---------------------------------------------------------------------------
// Discovery

class DiscoveryFailures : public SimTest {
protected:
    UsbScsiCmd device;
};

TEST_F(DiscoveryFailures, ProbeAnsweredWithCheckConditionRejectsTheDrive)
{
    // A recorder refusing its probe is no recorder.
    stack.attachRecorder('D');
    stack.answerCheckCondition(sim::CommandSelector::vendorOperation(0x01), sim::kIllegalRequest);
    EXPECT_EQ(device.Open(), 0);
    EXPECT_EQ(device.GetVariant(), 0);
    EXPECT_EQ(stack.openHandleCount(), 0);
    // The scan ends with the refusal of the last probe sent.
    EXPECT_EQ(device.lastFailure().reason, Reason::ScsiStatus);
    EXPECT_EQ(device.lastFailure().asc, 0x24);
}

TEST_F(DiscoveryFailures, UnitAttentionAfterPluggingInIsGotOver)
{
    // The first command after plugging in, as on a real PC: the INQUIRY is
    // answered, the probe gets UNIT ATTENTION and is resent once.
    for (const auto which : {sim::CommandSelector::any(), sim::CommandSelector::vendorOperation(0x01)}) {
        stack.clearLog();
        stack.attachRecorder('E');
        stack.answerCheckCondition(which, sim::kUnitAttention, 1);
        ASSERT_EQ(device.Open(), 1);
        EXPECT_EQ(device.GetVariant(), 1);
        EXPECT_EQ(device.lastFailure().reason, Reason::None);
        const auto calls = ioctls();
        ASSERT_EQ(calls.size(), 3u);  // INQUIRY, probe refused, probe resent
        EXPECT_EQ(calls[0].replyStatus, 0);
        EXPECT_EQ(calls[1].replyStatus, 2);
        expectDataInRequest(calls[2], 16, 16);
        EXPECT_EQ(calls[2].request.cdb, calls[1].request.cdb);
        EXPECT_EQ(calls[2].request.dataAreaHead, calls[1].request.dataAreaHead);  // the 0x33 marker again
    }
}

TEST_F(DiscoveryFailures, RefusedInquiryIsNotExamined)
{
    stack.attachRecorder('E');
    stack.answerCheckCondition(sim::CommandSelector::inquiry(), sim::kIllegalRequest);
    ASSERT_EQ(device.Open(), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);  // not resent
    EXPECT_EQ(calls[0].replyStatus, 2);
    EXPECT_EQ(device.lastFailure().reason, Reason::None);
}

TEST_F(DiscoveryFailures, OpenForgetsTheRefusalsOfOtherDrives)
{
    stack.attachDisk('D');
    stack.attachRecorder('F');
    stack.answerCheckCondition(sim::CommandSelector::management(0x08), sim::kIllegalRequest);
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.lastFailure().reason, Reason::None);  // D's refused probe is forgotten
    uint8_t buffer[8];
    VendorCdb cdb{};
    cdb.bytes[3] = 0xFE;
    cdb.bytes[4] = 0x08;
    ASSERT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 8, kDirectionIn), 0);
    ASSERT_EQ(device.lastFailure().reason, Reason::ScsiStatus);
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.lastFailure().reason, Reason::None);
}

TEST_F(DiscoveryFailures, ObserverSeesDiscoveryToo)
{
    std::vector<Seen> seen;
    device.setObserver(collect, &seen);
    stack.attachDisk('D');
    stack.attachRecorder('E');
    ASSERT_EQ(device.Open(), 1);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x24, 0}));
    EXPECT_TRUE(seen[0].succeeded);
    EXPECT_EQ(seen[0].delivered, 36u);
    // The disk refuses the probe: ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
    EXPECT_EQ(seen[1].cdb[3], 0x01);
    EXPECT_EQ(seen[1].scsiStatus, 2);
    ASSERT_GE(seen[1].sense.size(), 14u);
    EXPECT_EQ(seen[1].sense[2], 5);
    EXPECT_EQ(seen[1].sense[12], 0x20);
    EXPECT_FALSE(seen[1].succeeded);
    EXPECT_TRUE(seen[3].succeeded);
    EXPECT_EQ(seen[3].length, 16u);
}

}  // namespace
