// Every management command and every export when the recorder refuses it with
// CHECK CONDITION, answers it short or with UNIT ATTENTION: the result, what
// went out (no second part after a failed first), the caller's output and the
// recorder's state.
#include "RKM51DLL.h"
#include "management.h"
#include "sim_fixture.h"

#include <functional>

using sim::Call;

namespace {

enum class Fault { CheckCondition, ShortAnswer, UnitAttentionEveryTime, UnitAttentionOnce };

struct FaultCase {
    const char* name;
    Fault fault;
};

const FaultCase kFaults[] = {
    {"CHECK CONDITION, illegal request", Fault::CheckCondition},
    {"short answer", Fault::ShortAnswer},
    {"UNIT ATTENTION every time", Fault::UnitAttentionEveryTime},
    {"UNIT ATTENTION once", Fault::UnitAttentionOnce},
};

void arm(sim::StorageStack& stack, sim::CommandSelector which, Fault fault, uint32_t shortBy)
{
    switch (fault) {
    case Fault::CheckCondition:
        stack.answerCheckCondition(which, sim::kIllegalRequest);
        break;
    case Fault::ShortAnswer:
        stack.answerShort(which, shortBy);
        break;
    case Fault::UnitAttentionEveryTime:
        stack.answerCheckCondition(which, sim::kUnitAttention);
        break;
    case Fault::UnitAttentionOnce:
        stack.answerCheckCondition(which, sim::kUnitAttention, 1);
        break;
    }
}

// What a command left behind: its result and whether the caller's output is as
// a failure leaves it (untouched; zeros for CGetTime's record).
struct Outcome {
    int result;
    bool outputAsOnFailure;
};

// One command, with the request the fault is put on.
struct CommandCase {
    const char* name;
    sim::CommandSelector which;
    uint32_t answerLength;  // bytes the faulty request reads; the short answer holds one fewer
    std::function<Outcome()> run;
    int goodResult;
    size_t before;  // requests that go out before the faulty one
    size_t after;   // requests that follow it when it is delivered
    // True when the recorder carried the command out (nullptr: it keeps no state).
    std::function<bool(const sim::Recorder&)> carriedOut;
};

bool untouched(const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != '#')
            return false;
    return true;
}

char g_id[14];
DeviceTime g_time;
RecorderTime g_recorderTime;

bool passwordIs(const sim::Recorder& r, const char* pw) { return std::memcmp(r.password.data(), pw, 6) == 0; }
bool numberIs(const sim::Recorder& r, const char* n, size_t count)
{
    return std::memcmp(r.policeNumber.data(), n, count) == 0;
}

// The recorder at F behind a disk at D, with a police number to read back.
struct Bench {
    Bench()
    {
        stack.attachDisk('D');
        sim::Recorder& r = stack.attachRecorder('F');
        std::memcpy(r.policeNumber.data(), "OLDNUMBER0000", 13);
        stack.install();
    }
    ~Bench() { stack.uninstall(); }
    sim::StorageStack stack;
};

class RefusedCommands : public SimTest {
protected:
    // Runs every command under every fault on a fresh recorder. `connect`
    // opens the device; the log starts after it.
    void runTable(const std::vector<CommandCase>& commands, const std::function<int()>& connect)
    {
        for (const FaultCase& f : kFaults) {
            for (const CommandCase& c : commands) {
                SCOPED_TRACE(std::string(c.name) + " / " + f.name);
                Bench bench;
                ASSERT_EQ(connect(), 1);
                bench.stack.clearLog();
                std::memset(g_id, '#', sizeof g_id);
                arm(bench.stack, c.which, f.fault, c.answerLength - 1);
                const Outcome o = c.run();
                const sim::Recorder& r = *bench.stack.recorder('F');
                const std::vector<Call> calls = bench.stack.callsOf(Call::Kind::DeviceIoControl);
                if (f.fault == Fault::UnitAttentionOnce) {
                    EXPECT_EQ(o.result, c.goodResult);
                    ASSERT_EQ(calls.size(), c.before + 2 + c.after);
                    expectSameRequest(calls[c.before], calls[c.before + 1]);
                    EXPECT_EQ(calls[c.before].replyStatus, 2);
                    if (c.carriedOut) {
                        EXPECT_TRUE(c.carriedOut(r));
                    }
                    continue;
                }
                EXPECT_EQ(o.result, 0);
                EXPECT_TRUE(o.outputAsOnFailure);
                const size_t resent = f.fault == Fault::UnitAttentionEveryTime ? 1 : 0;
                ASSERT_EQ(calls.size(), c.before + 1 + resent);
                if (resent) {
                    expectSameRequest(calls[c.before], calls[c.before + 1]);
                }
                // A refused command was never carried out; a short answer was.
                if (c.carriedOut && c.after == 0) {
                    EXPECT_EQ(c.carriedOut(r), f.fault == Fault::ShortAnswer);
                }
            }
        }
    }
};

TEST_F(RefusedCommands, ManagementCommandsReportAFailedTransfer)
{
    UsbScsiCmd device;
    using S = sim::CommandSelector;
    const DeviceTime t{2013, 12, 31, 23, 59, 58};
    const std::vector<CommandCase> commands = {
        {"login", S::management(0x07), 1, [&] { return Outcome{CmdLogin(device, "000000"), true}; }, 1, 0, 0,
         [](const sim::Recorder& r) { return r.loginCount == 1; }},
        {"set password", S::management(0x01), 1, [&] { return Outcome{CmdSetPassword(device, "NEWPW1"), true}; },
         1, 0, 0, [](const sim::Recorder& r) { return passwordIs(r, "NEWPW1"); }},
        {"set time", S::management(0x03), 1, [&] { return Outcome{CmdSetTime(device, &t), true}; }, 1, 0, 0,
         [](const sim::Recorder& r) { return r.now().year == 2013; }},
        {"get time", S::management(0x08), 8,
         [&] {
             g_time = DeviceTime{1, 2, 3, 4, 5, 6};
             const int result = CmdGetTime(device, &g_time);
             return Outcome{result, g_time.year == 1 && g_time.second == 6};
         },
         1, 0, 0, nullptr},
        {"set police number, first part", S::management(0x02), 1,
         [&] { return Outcome{CmdSetID(device, "ABCDEFGHIJKLM"), true}; }, 1, 0, 1,
         [](const sim::Recorder& r) { return numberIs(r, "ABCDEFGHIJKLM", 13); }},
        {"set police number, second part", S::management(0x09), 1,
         [&] { return Outcome{CmdSetID(device, "ABCDEFGHIJKLM"), true}; }, 1, 1, 0,
         [](const sim::Recorder& r) { return numberIs(r, "ABCDEFGHIJKLM", 13); }},
        {"get police number, first part", S::management(0x0A), 7,
         [&] { return Outcome{CmdGetID(device, g_id), untouched(g_id, sizeof g_id)}; }, 1, 0, 1, nullptr},
        {"get police number, second part", S::management(0x0B), 8,
         [&] { return Outcome{CmdGetID(device, g_id), untouched(g_id, sizeof g_id)}; }, 1, 1, 0, nullptr},
        {"USB-disk mode", S::management(0x04), 1, [&] { return Outcome{CmdIntoUDiskMode(device), true}; }, 1, 0,
         0, [](const sim::Recorder& r) { return r.uDiskMode; }},
    };
    runTable(commands, [&] { return device.Open(); });
}

TEST_F(RefusedCommands, ExportsReportAFailedTransfer)
{
    using S = sim::CommandSelector;
    const RecorderTime t{58, 59, 23, 31, 12, 2013};
    const std::vector<CommandCase> commands = {
        {"CLogin", S::management(0x07), 1,
         [] {
             char pw[6] = {'0', '0', '0', '0', '0', '0'};
             return Outcome{CLogin(pw), true};
         },
         1, 0, 0, [](const sim::Recorder& r) { return r.loginCount == 1; }},
        {"CSetPassword", S::management(0x01), 1,
         [] {
             char pw[6] = {'n', 'e', 'w', 'p', 'w', '1'};
             return Outcome{CSetPassword(pw), true};
         },
         1, 0, 0, [](const sim::Recorder& r) { return passwordIs(r, "NEWPW1"); }},
        {"CSetTime", S::management(0x03), 1, [&] { return Outcome{CSetTime(&t), true}; }, 1, 0, 0,
         [](const sim::Recorder& r) { return r.now().year == 2013; }},
        {"CGetTime", S::management(0x08), 8,
         [] {
             g_recorderTime = RecorderTime{1, 2, 3, 4, 5, 6};
             const int result = CGetTime(&g_recorderTime);
             const RecorderTime& g = g_recorderTime;
             return Outcome{result, g.second + g.minute + g.hour + g.day + g.month + g.year == 0};
         },
         1, 0, 0, nullptr},
        {"CSetID, first part", S::management(0x02), 1, [] { return Outcome{CSetID("ABCDEFGHIJKLM"), true}; }, 1,
         0, 1, [](const sim::Recorder& r) { return numberIs(r, "ABCDEFGHIJKLM", 13); }},
        {"CSetID, second part", S::management(0x09), 1, [] { return Outcome{CSetID("ABCDEFGHIJKLM"), true}; }, 1,
         1, 0, [](const sim::Recorder& r) { return numberIs(r, "ABCDEFGHIJKLM", 13); }},
        {"CGetID, first part", S::management(0x0A), 7,
         [] { return Outcome{CGetID(g_id), untouched(g_id, sizeof g_id)}; }, 1, 0, 1, nullptr},
        {"CGetID, second part", S::management(0x0B), 8,
         [] { return Outcome{CGetID(g_id), untouched(g_id, sizeof g_id)}; }, 1, 1, 0, nullptr},
        {"CIntoUDiskMode", S::management(0x04), 1, [] { return Outcome{CIntoUDiskMode(), true}; }, 1, 0, 0,
         [](const sim::Recorder& r) { return r.uDiskMode; }},
    };
    runTable(commands, [] { return CConnectDV(); });
}

TEST_F(RefusedCommands, ConnectFindsNoRecorderThatRefusesItsProbe)
{
    // Discovery of F behind the disk at D: INQUIRY and probe on each.
    for (const FaultCase& f : kFaults) {
        SCOPED_TRACE(f.name);
        Bench bench;
        arm(bench.stack, sim::CommandSelector::vendorOperation(0x01), f.fault, 15);
        const int expected = f.fault == Fault::UnitAttentionOnce ? 1 : 0;
        EXPECT_EQ(CConnectDV(), expected);
        const size_t resent = f.fault == Fault::UnitAttentionOnce || f.fault == Fault::UnitAttentionEveryTime;
        EXPECT_EQ(bench.stack.callsOf(Call::Kind::DeviceIoControl).size(), 4u + resent);
        // The refused drive is given back.
        EXPECT_EQ(bench.stack.openHandleCount(), expected);
    }
}

// A get-time answer with its status byte 1 but short of the clock bytes, and
// a police number whose second part lacks its last byte: nothing reaches the caller.
TEST_F(RefusedCommands, AnAnswerShortByOneByteIsNotRead)
{
    Bench bench;
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    bench.stack.answerShort(sim::CommandSelector::management(0x08), 7, 1);
    DeviceTime t{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(CmdGetTime(device, &t), 0);
    EXPECT_EQ(t.year, 1);
    EXPECT_EQ(t.second, 6);
    bench.stack.answerShort(sim::CommandSelector::management(0x0B), 7, 1);
    std::memset(g_id, '#', sizeof g_id);
    EXPECT_EQ(CmdGetID(device, g_id), 0);
    EXPECT_TRUE(untouched(g_id, sizeof g_id));
    EXPECT_EQ(device.lastFailure().reason, TransferFailure::Reason::ShortAnswer);
    EXPECT_EQ(device.lastFailure().expected, 8u);
    EXPECT_EQ(device.lastFailure().delivered, 7u);
}

}  // namespace
