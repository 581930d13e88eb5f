// The flows behind korvane's buttons, over the simulated recorder: what goes to
// the recorder, how outcomes are told apart, and that the volume handle is
// always given back.
#include "device_flows.h"
#include "pc_clock.h"
#include "storage_stack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using sim::Call;

constexpr uint8_t kSubLogin = 0x07;
constexpr uint8_t kSubSetPassword = 0x01;
constexpr uint8_t kSubSetTime = 0x03;
constexpr uint8_t kSubIntoUDisk = 0x04;
constexpr uint8_t kSubSetIdFirst = 0x02;
constexpr uint8_t kSubSetIdSecond = 0x09;

// Two ordinary disks and the recorder at G, installed behind the platform calls.
struct Machine {
    enum Setup { Recorder, NoRecorder, PulledAfterDiscovery, RefusesEveryCommand };

    explicit Machine(Setup setup = Recorder)
    {
        stack.attachDisk('D');
        stack.attachDisk('E');
        if (setup != NoRecorder) {
            sim::Recorder& r = stack.attachRecorder('G');
            std::memcpy(r.password.data(), "ABC123", 6);
        }
        stack.pullOutAfterDiscovery(setup == PulledAfterDiscovery);
        if (setup == RefusesEveryCommand)
            stack.answerCheckCondition(sim::CommandSelector::vendorOperation(0xFE), sim::kIllegalRequest);
        stack.install();
    }
    ~Machine() { stack.uninstall(); }

    sim::Recorder& recorder() { return *stack.recorder('G'); }

    // The management commands that reached the recorder.
    std::vector<Call> management() const
    {
        std::vector<Call> out;
        for (const Call& c : stack.vendorCalls())
            if (c.request.cdb[3] == 0xFE)
                out.push_back(c);
        return out;
    }
    std::vector<int> subOperations() const
    {
        std::vector<int> out;
        for (const Call& c : management())
            out.push_back(c.request.cdb[4]);
        return out;
    }
    int deviceIoControls() const
    {
        int n = 0;
        for (const Call& c : stack.log())
            n += c.kind == Call::Kind::DeviceIoControl;
        return n;
    }
    bool recorderOpened() const
    {
        for (const Call& c : stack.log())
            if (c.kind == Call::Kind::CreateFile && c.letter == 'G' && c.result != 0)
                return true;
        return false;
    }
    bool recorderClosed() const
    {
        for (const Call& c : stack.log())
            if (c.kind == Call::Kind::CloseHandle && c.letter == 'G')
                return true;
        return false;
    }

    sim::StorageStack stack;
};

std::vector<uint8_t> cdbBytes(const Call& c, int from, int count)
{
    return std::vector<uint8_t>(c.request.cdb.begin() + from, c.request.cdb.begin() + from + count);
}

std::vector<uint8_t> bytesOf(const char* s, int count)
{
    std::vector<uint8_t> v(count, 0);
    std::memcpy(v.data(), s, std::min<size_t>(std::strlen(s), count));
    return v;
}

// Copies like a window-text read: at most size - 1 bytes, then a zero.
void readLikeAField(const char* text, char* buffer, int size)
{
    const size_t n = std::min<size_t>(std::strlen(text), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = 0;
}

void fill(PasswordText& buffer, const char* text)
{
    std::memset(buffer, 0, sizeof buffer);
    readLikeAField(text, buffer, sizeof buffer);
}

DeviceTime fixedTime() { return DeviceTime{2013, 10, 15, 6, 43, 9}; }

// ---------------------------------------------------------------------------
// Every flow, every outcome: the handle goes back.

TEST(DeviceFlows, EveryFlowGivesTheRecordersHandleBackWhateverTheOutcome)
{
    const std::vector<std::pair<const char*, std::function<void(UsbScsiCmd&)>>> flows = {
        {"login", [](UsbScsiCmd& d) { RunLogin(d, [](char* b, int n) { readLikeAField("abc123", b, n); }); }},
        {"wrong login", [](UsbScsiCmd& d) { RunLogin(d, [](char* b, int n) { readLikeAField("x", b, n); }); }},
        {"time sync", [](UsbScsiCmd& d) { RunTimeSync(d, &fixedTime); }},
        {"usb disk", [](UsbScsiCmd& d) { RunIntoUDiskMode(d); }},
        {"change password", [](UsbScsiCmd& d) {
             PasswordText o, n, a;
             fill(o, "ABC123"), fill(n, "NEW111"), fill(a, "NEW111");
             RunChangePassword(d, o, n, a);
         }},
        {"change password, entries differ", [](UsbScsiCmd& d) {
             PasswordText o, n, a;
             fill(o, "ABC123"), fill(n, "NEW111"), fill(a, "NEW112");
             RunChangePassword(d, o, n, a);
         }},
        {"police number", [](UsbScsiCmd& d) {
             PoliceNumberText number = "1234567";
             RunSetNumber(d, number);
         }},
    };
    const std::pair<const char*, Machine::Setup> setups[] = {
        {"recorder", Machine::Recorder},
        {"no recorder", Machine::NoRecorder},
        {"pulled out after discovery", Machine::PulledAfterDiscovery},
        {"every command refused", Machine::RefusesEveryCommand},
    };
    for (const auto& [setupName, setup] : setups) {
        for (const auto& [flowName, flow] : flows) {
            SCOPED_TRACE(std::string(flowName) + " / " + setupName);
            Machine m(setup);
            UsbScsiCmd device;
            flow(device);
            EXPECT_EQ(m.stack.openHandleCount(), 0);
            EXPECT_EQ(device.handle(), nullptr);
            if (setup != Machine::NoRecorder) {
                EXPECT_TRUE(m.recorderOpened());
                EXPECT_TRUE(m.recorderClosed());
            }
        }
    }
}

// ---------------------------------------------------------------------------
// A command refused with CHECK CONDITION or answered short fails its flow; one
// answered with UNIT ATTENTION once goes through on its resend.

TEST(DeviceFlows, RefusedAndShortAnswersAreFailures)
{
    enum Fault { Refused, Short, UnitAttentionOnce };
    auto login = [](UsbScsiCmd& d) {
        return int(RunLogin(d, [](char* b, int n) { readLikeAField("abc123", b, n); }));
    };
    auto timeSync = [](UsbScsiCmd& d) { return int(RunTimeSync(d, &fixedTime)); };
    auto changePassword = [](UsbScsiCmd& d) {
        PasswordText o, n, a;
        fill(o, "ABC123"), fill(n, "NEW111"), fill(a, "NEW111");
        return int(RunChangePassword(d, o, n, a));
    };
    auto setNumber = [](UsbScsiCmd& d) { return int(RunSetNumber(d, "1234567890123")); };
    const struct {
        const char* name;
        std::function<int(UsbScsiCmd&)> flow;
        uint8_t subOperation;
        Fault fault;
        int result;
        std::vector<int> sent;
        const char* passwordAfter;  // the recorder's password afterwards
    } cases[] = {
        {"login refused", login, kSubLogin, Refused, int(LoginResult::Refused), {kSubLogin}, "ABC123"},
        {"login short", login, kSubLogin, Short, int(LoginResult::Refused), {kSubLogin}, "ABC123"},
        {"login after unit attention", login, kSubLogin, UnitAttentionOnce, int(LoginResult::Accepted),
         {kSubLogin, kSubLogin}, "ABC123"},
        {"time sync refused", timeSync, kSubSetTime, Refused, int(TimeSyncResult::Refused), {kSubSetTime}, "ABC123"},
        {"time sync short", timeSync, kSubSetTime, Short, int(TimeSyncResult::Refused), {kSubSetTime}, "ABC123"},
        {"time sync after unit attention", timeSync, kSubSetTime, UnitAttentionOnce, int(TimeSyncResult::Done),
         {kSubSetTime, kSubSetTime}, "ABC123"},
        {"usb disk refused", RunIntoUDiskMode, kSubIntoUDisk, Refused, 0, {kSubIntoUDisk}, "ABC123"},
        {"usb disk short", RunIntoUDiskMode, kSubIntoUDisk, Short, 0, {kSubIntoUDisk}, "ABC123"},
        {"change password, old password check refused", changePassword, kSubLogin, Refused,
         int(ChangePasswordResult::OldPasswordRefused), {kSubLogin}, "ABC123"},
        {"change password, set refused", changePassword, kSubSetPassword, Refused,
         int(ChangePasswordResult::SetFailed), {kSubLogin, kSubSetPassword}, "ABC123"},
        {"change password, set answered short", changePassword, kSubSetPassword, Short,
         int(ChangePasswordResult::SetFailed), {kSubLogin, kSubSetPassword}, "NEW111"},
        {"change password after unit attention", changePassword, kSubSetPassword, UnitAttentionOnce,
         int(ChangePasswordResult::Done), {kSubLogin, kSubSetPassword, kSubSetPassword}, "NEW111"},
        {"police number, first part refused", setNumber, kSubSetIdFirst, Refused, int(SetNumberResult::Refused),
         {kSubSetIdFirst}, "ABC123"},
        {"police number, second part short", setNumber, kSubSetIdSecond, Short, int(SetNumberResult::Refused),
         {kSubSetIdFirst, kSubSetIdSecond}, "ABC123"},
        {"police number after unit attention", setNumber, kSubSetIdFirst, UnitAttentionOnce,
         int(SetNumberResult::Done), {kSubSetIdFirst, kSubSetIdFirst, kSubSetIdSecond}, "ABC123"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        const sim::CommandSelector which = sim::CommandSelector::management(c.subOperation);
        if (c.fault == Refused)
            m.stack.answerCheckCondition(which, sim::kIllegalRequest);
        else if (c.fault == Short)
            m.stack.answerShort(which, 0);
        else
            m.stack.answerCheckCondition(which, sim::kUnitAttention, 1);
        UsbScsiCmd device;
        EXPECT_EQ(c.flow(device), c.result);
        EXPECT_EQ(m.subOperations(), c.sent);
        EXPECT_EQ(std::vector<uint8_t>(m.recorder().password.begin(), m.recorder().password.end()),
                  bytesOf(c.passwordAfter, 6));
        EXPECT_EQ(m.stack.openHandleCount(), 0);
    }
}

// ---------------------------------------------------------------------------
// Login

TEST(LoginFlow, TypedTextGoesOutUpperCasedAndZeroFilled)
{
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"abc123", bytesOf("ABC123", 6)},
        {"aB", bytesOf("AB", 6)},
        {"", std::vector<uint8_t>(6, 0)},
        {"a\xC4\xE3z", {'A', 0xC4, 0xE3, 'Z', 0, 0}},
        {"{az}`~", bytesOf("{AZ}`~", 6)},
    };
    for (const auto& [typed, sent] : cases) {
        SCOPED_TRACE(typed);
        Machine m;
        UsbScsiCmd device;
        int bufferSize = 0;
        RunLogin(device, [&, t = typed](char* b, int n) {
            bufferSize = n;
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(b[i], 0);
            readLikeAField(t, b, n);
        });
        EXPECT_EQ(bufferSize, 7);
        ASSERT_EQ(m.subOperations(), std::vector<int>{kSubLogin});
        EXPECT_EQ(cdbBytes(m.management()[0], 5, 6), sent);
    }
}

TEST(LoginFlow, OutcomesAndWhenThePasswordIsRead)
{
    {
        Machine m;
        UsbScsiCmd device;
        EXPECT_EQ(RunLogin(device, [](char* b, int n) { readLikeAField("abc123", b, n); }),
                  LoginResult::Accepted);
    }
    {
        Machine m;
        UsbScsiCmd device;
        EXPECT_EQ(RunLogin(device, [](char* b, int n) { readLikeAField("abc124", b, n); }),
                  LoginResult::Refused);
    }
    {
        // A failed transfer cannot be told from a refusal.
        Machine m(Machine::PulledAfterDiscovery);
        UsbScsiCmd device;
        EXPECT_EQ(RunLogin(device, [](char* b, int n) { readLikeAField("abc123", b, n); }),
                  LoginResult::Refused);
    }
    {
        Machine m(Machine::NoRecorder);
        UsbScsiCmd device;
        bool read = false;
        EXPECT_EQ(RunLogin(device, [&](char*, int) { read = true; }), LoginResult::NoRecorder);
        EXPECT_FALSE(read);
        EXPECT_TRUE(m.management().empty());
    }
}

// ---------------------------------------------------------------------------
// Time sync

sim::StorageStack* g_stackForClock = nullptr;
int g_vendorCallsWhenTimeTaken = -1;

DeviceTime timeNotingDiscovery()
{
    g_vendorCallsWhenTimeTaken = static_cast<int>(g_stackForClock->vendorCalls().size());
    return fixedTime();
}

TEST(TimeSyncFlow, SendsTheTimeTakenOnceTheRecorderHasAnswered)
{
    Machine m;
    g_stackForClock = &m.stack;
    g_vendorCallsWhenTimeTaken = -1;
    UsbScsiCmd device;
    EXPECT_EQ(RunTimeSync(device, &timeNotingDiscovery), TimeSyncResult::Done);
    EXPECT_GT(g_vendorCallsWhenTimeTaken, 0);  // the probe had been answered
    ASSERT_EQ(m.subOperations(), std::vector<int>{kSubSetTime});
    EXPECT_EQ(cdbBytes(m.management()[0], 5, 7),
              (std::vector<uint8_t>{20, 13, 10, 15, 6, 43, 9}));
}

int64_t g_clockReadAt = -1;

DeviceTime timeNotingTheMoment()
{
    g_clockReadAt = pcclock::nowMicros();
    return fixedTime();
}

TEST(TimeSyncFlow, TakesTheTimeRightAfterTheNextSecondBoundary)
{
    Machine m;
    UsbScsiCmd device;
    // Half-way through a second: sending at once would leave the recorder half a second behind.
    pcclock::waitUntil((pcclock::nowMicros() / 1000000 + 1) * 1000000 + 500000);
    const int64_t start = pcclock::nowMicros();
    g_clockReadAt = -1;
    EXPECT_EQ(RunTimeSync(device, &timeNotingTheMoment), TimeSyncResult::Done);
    ASSERT_GE(g_clockReadAt, 0);
    EXPECT_LT(g_clockReadAt % 1000000, 15000) << "read " << g_clockReadAt % 1000000 << " us into the second";
    EXPECT_LT(g_clockReadAt - start, 1000000);  // the next boundary, not a later one
}

TEST(TimeSyncFlow, RefusalsAndFailedTransfersAreFailures)
{
    {
        Machine m;
        m.stack.scriptStatus(kSubSetTime, 0);
        UsbScsiCmd device;
        EXPECT_EQ(RunTimeSync(device, &fixedTime), TimeSyncResult::Refused);
    }
    {
        Machine m(Machine::PulledAfterDiscovery);
        UsbScsiCmd device;
        EXPECT_EQ(RunTimeSync(device, &fixedTime), TimeSyncResult::Refused);
    }
    {
        Machine m(Machine::NoRecorder);
        g_stackForClock = &m.stack;
        g_vendorCallsWhenTimeTaken = -1;
        UsbScsiCmd device;
        EXPECT_EQ(RunTimeSync(device, &timeNotingDiscovery), TimeSyncResult::NoRecorder);
        EXPECT_EQ(g_vendorCallsWhenTimeTaken, -1);
        EXPECT_TRUE(m.management().empty());
    }
}

// ---------------------------------------------------------------------------
// USB-disk mode

TEST(IntoUDiskFlow, SendsTheCommandOnlyToAFoundRecorder)
{
    {
        Machine m;
        UsbScsiCmd device;
        EXPECT_EQ(RunIntoUDiskMode(device), 1);
        EXPECT_EQ(m.subOperations(), std::vector<int>{kSubIntoUDisk});
        EXPECT_TRUE(m.recorder().uDiskMode);
    }
    {
        Machine m(Machine::NoRecorder);
        UsbScsiCmd device;
        EXPECT_EQ(RunIntoUDiskMode(device), 0);
        EXPECT_TRUE(m.management().empty());
    }
}

// ---------------------------------------------------------------------------
// Change password

TEST(ChangePasswordFlow, OldPasswordIsCheckedUpperCasedAsTheLoginSendsIt)
{
    Machine m;
    UsbScsiCmd device;
    PasswordText oldPw, newPw, again;
    fill(oldPw, "abc123"), fill(newPw, "new1a"), fill(again, "new1a");
    EXPECT_EQ(RunChangePassword(device, oldPw, newPw, again), ChangePasswordResult::Done);
    ASSERT_EQ(m.subOperations(), (std::vector<int>{kSubLogin, kSubSetPassword}));
    EXPECT_EQ(cdbBytes(m.management()[0], 5, 6), bytesOf("ABC123", 6));
    EXPECT_EQ(cdbBytes(m.management()[1], 5, 6), bytesOf("NEW1A", 6));
    EXPECT_EQ(std::vector<uint8_t>(m.recorder().password.begin(), m.recorder().password.end()),
              bytesOf("NEW1A", 6));
}

TEST(ChangePasswordFlow, Outcomes)
{
    struct Case {
        const char* name;
        Machine::Setup setup;
        const char *oldPw, *newPw, *again;
        ChangePasswordResult result;
        std::vector<int> sent;
        std::vector<uint8_t> oldPasswordSent;  // checked when given
        std::vector<uint8_t> newPasswordSent;  // checked when given
    };
    const Case cases[] = {
        {"no recorder comes first", Machine::NoRecorder, "x", "a", "b",
         ChangePasswordResult::NoRecorder, {}, {}, {}},
        {"wrong old password and differing entries", Machine::Recorder, "abc12", "new111", "new112",
         ChangePasswordResult::OldPasswordRefused, {kSubLogin}, bytesOf("ABC12", 6), {}},
        {"empty old password", Machine::Recorder, "", "new111", "new111",
         ChangePasswordResult::OldPasswordRefused, {kSubLogin}, std::vector<uint8_t>(6, 0), {}},
        {"entries differ only in letter case", Machine::Recorder, "ABC123", "new111", "NEW111",
         ChangePasswordResult::NewPasswordsDiffer, {kSubLogin}, {}, {}},
        {"both new entries empty", Machine::Recorder, "ABC123", "", "",
         ChangePasswordResult::Done, {kSubLogin, kSubSetPassword}, {}, std::vector<uint8_t>(6, 0)},
        {"short new password", Machine::Recorder, "ABC123", "q1", "q1",
         ChangePasswordResult::Done, {kSubLogin, kSubSetPassword}, {}, bytesOf("Q1", 6)},
        {"pulled out after discovery", Machine::PulledAfterDiscovery, "ABC123", "a", "a",
         ChangePasswordResult::OldPasswordRefused, {kSubLogin}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m(c.setup);
        UsbScsiCmd device;
        PasswordText oldPw, newPw, again;
        fill(oldPw, c.oldPw), fill(newPw, c.newPw), fill(again, c.again);
        EXPECT_EQ(RunChangePassword(device, oldPw, newPw, again), c.result);
        EXPECT_EQ(m.subOperations(), c.sent);
        if (!c.oldPasswordSent.empty()) {
            EXPECT_EQ(cdbBytes(m.management()[0], 5, 6), c.oldPasswordSent);
        }
        if (!c.newPasswordSent.empty()) {
            EXPECT_EQ(cdbBytes(m.management()[1], 5, 6), c.newPasswordSent);
        }
    }
}

TEST(ChangePasswordFlow, AFailedSetPasswordTransferIsReported)
{
    // Count the calls of a good run, then fail its last one: the set-password transfer.
    int calls = 0;
    {
        Machine m;
        UsbScsiCmd device;
        PasswordText o, n, a;
        fill(o, "ABC123"), fill(n, "NEW111"), fill(a, "NEW111");
        ASSERT_EQ(RunChangePassword(device, o, n, a), ChangePasswordResult::Done);
        calls = m.deviceIoControls();
    }
    Machine m;
    m.stack.failIoctl(calls);
    UsbScsiCmd device;
    PasswordText o, n, a;
    fill(o, "ABC123"), fill(n, "NEW111"), fill(a, "NEW111");
    EXPECT_EQ(RunChangePassword(device, o, n, a), ChangePasswordResult::SetFailed);
    EXPECT_EQ(std::vector<uint8_t>(m.recorder().password.begin(), m.recorder().password.end()),
              bytesOf("ABC123", 6));
    EXPECT_EQ(m.stack.openHandleCount(), 0);
}

// ---------------------------------------------------------------------------
// Police number

TEST(SetNumberFlow, TheNumberGoesOutAsTypedInTwoPartsZeroFilled)
{
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"1234567890123", bytesOf("1234567890123", 13)},
        {"Ab12", bytesOf("Ab12", 13)},
        {"", std::vector<uint8_t>(13, 0)},
        {"\xBE\xAF\xBA\xC5" "7", bytesOf("\xBE\xAF\xBA\xC5" "7", 13)},
    };
    for (const auto& [typed, sent] : cases) {
        SCOPED_TRACE(typed);
        Machine m;
        UsbScsiCmd device;
        PoliceNumberText number = {0};
        readLikeAField(typed, number, sizeof number);
        EXPECT_EQ(RunSetNumber(device, number), SetNumberResult::Done);
        ASSERT_EQ(m.subOperations(), (std::vector<int>{kSubSetIdFirst, kSubSetIdSecond}));
        std::vector<uint8_t> both = cdbBytes(m.management()[0], 5, 6);
        const std::vector<uint8_t> second = cdbBytes(m.management()[1], 5, 7);
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_EQ(both, sent);
        EXPECT_EQ(std::vector<uint8_t>(m.recorder().policeNumber.begin(), m.recorder().policeNumber.end()),
                  sent);
    }
}

TEST(SetNumberFlow, RefusalsAndFailedTransfersAreFailures)
{
    struct Case {
        const char* name;
        Machine::Setup setup;
        int refusedSubOperation;  // 0: none
        SetNumberResult result;
        std::vector<int> sent;
    };
    const Case cases[] = {
        {"first part refused", Machine::Recorder, kSubSetIdFirst, SetNumberResult::Refused,
         {kSubSetIdFirst}},
        {"second part refused", Machine::Recorder, kSubSetIdSecond, SetNumberResult::Refused,
         {kSubSetIdFirst, kSubSetIdSecond}},
        {"pulled out after discovery", Machine::PulledAfterDiscovery, 0, SetNumberResult::Refused,
         {kSubSetIdFirst}},
        {"no recorder", Machine::NoRecorder, 0, SetNumberResult::NoRecorder, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m(c.setup);
        if (c.refusedSubOperation != 0)
            m.stack.scriptStatus(static_cast<uint8_t>(c.refusedSubOperation), 0);
        UsbScsiCmd device;
        EXPECT_EQ(RunSetNumber(device, "1234567890123"), c.result);
        EXPECT_EQ(m.subOperations(), c.sent);
    }
}

}  // namespace
