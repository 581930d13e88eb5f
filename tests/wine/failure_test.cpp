// The exports when their transfers cannot reach a recorder, after failed
// transfers, and with null pointers.
#include "dll_fixture.h"

#include <cstring>

namespace {

// Ways of ending up without a working recorder behind the library.
struct NoRecorderCase {
    const char* name;
    void (*arrange)(sim::StorageStack& stack, const Rkm51Functions& dll);
    bool rediscovers;  // no handle kept: every export looks for the recorder first
};

void PrintTo(const NoRecorderCase& c, std::ostream* os) { *os << c.name; }

class NoRecorderTest : public DllTest, public ::testing::WithParamInterface<NoRecorderCase> {};

// Every transfer fails: each export sends one request (CSetID and CGetID do
// not follow a failed first part with the second), reads the error once, and
// reports the failure; outputs are left alone, but CGetTime zeroes its record
// and the password exports still upper-case the caller's buffer.
TEST_P(NoRecorderTest, EveryExportReportsTheFailure)
{
    GetParam().arrange(stack, dll());
    if (HasFatalFailure())
        return;
    stack.clearLog();

    char password[] = "abc123";
    EXPECT_EQ(dll().CLogin(password), 0);
    EXPECT_STREQ(password, "ABC123");

    char newPassword[] = "xyz789";
    EXPECT_EQ(dll().CSetPassword(newPassword), 0);
    EXPECT_STREQ(newPassword, "XYZ789");

    const RecorderTime set = {58, 59, 23, 31, 12, 2013};
    EXPECT_EQ(dll().CSetTime(&set), 0);

    RecorderTime got = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(dll().CGetTime(&got), 0);
    EXPECT_EQ(got.second | got.minute | got.hour | got.day | got.month | got.year, 0);

    EXPECT_EQ(dll().CSetID("0123456789ABC"), 0);

    char number[14];
    std::memset(number, 0x5A, sizeof number);
    EXPECT_EQ(dll().CGetID(number), 0);
    for (char b : number)
        EXPECT_EQ(b, 0x5A);

    EXPECT_EQ(dll().CIntoUDiskMode(), 0);

    // Seven exports, one failed management request each, each followed by one
    // error read. Without a kept handle each export first looks for the
    // recorder again (and finds none).
    const std::vector<sim::Call> log = stack.log();
    std::vector<size_t> commands;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind == sim::Call::Kind::DeviceIoControl && log[i].request.cdb[3] == 0xFE)
            commands.push_back(i);
    }
    ASSERT_EQ(commands.size(), 7u);
    const uint8_t subOperations[7] = {0x07, 0x01, 0x03, 0x08, 0x02, 0x0A, 0x04};
    for (size_t k = 0; k < commands.size(); ++k) {
        SCOPED_TRACE(k);
        const size_t i = commands[k];
        EXPECT_EQ(log[i].result, 0u);
        EXPECT_EQ(log[i].request.cdb[4], subOperations[k]);
        ASSERT_LT(i + 1, log.size());
        EXPECT_EQ(log[i + 1].kind, sim::Call::Kind::GetLastError);
    }
    size_t scans = 0;
    for (const sim::Call& c : log)
        scans += c.kind == sim::Call::Kind::CreateFile && c.path == "\\\\.\\D:";
    EXPECT_EQ(scans, GetParam().rediscovers ? 7u : 0u);
    if (!GetParam().rediscovers) {
        EXPECT_EQ(log.size(), 14u);
    }
}

const NoRecorderCase kNoRecorderCases[] = {
    {"NeverConnected", [](sim::StorageStack&, const Rkm51Functions&) {}, true},
    {"ConnectFoundNothing",
     [](sim::StorageStack& stack, const Rkm51Functions& dll) {
         stack.attachDisk('D');
         ASSERT_EQ(dll.CConnectDV(), 0);
     }, true},
    {"PulledOutAfterLogin",
     [](sim::StorageStack& stack, const Rkm51Functions& dll) {
         stack.attachRecorder('E');
         ASSERT_EQ(dll.CConnectDV(), 1);
         char password[] = "000000";
         ASSERT_EQ(dll.CLogin(password), 1);
         stack.pullOut('E');
     }, false},
    {"PulledOutRightAfterDiscovery",
     [](sim::StorageStack& stack, const Rkm51Functions& dll) {
         stack.attachRecorder('E');
         stack.pullOutAfterDiscovery(true);
         ASSERT_EQ(dll.CConnectDV(), 1);
     }, false},
    {"EveryTransferFails",
     [](sim::StorageStack& stack, const Rkm51Functions& dll) {
         stack.attachRecorder('E');
         ASSERT_EQ(dll.CConnectDV(), 1);
         stack.failIoctlsFrom(1);
     }, false},
};

INSTANTIATE_TEST_SUITE_P(States, NoRecorderTest, ::testing::ValuesIn(kNoRecorderCases),
                         [](const ::testing::TestParamInfo<NoRecorderCase>& info) {
                             return std::string(info.param.name);
                         });

using FailureTest = DllTest;

TEST_F(FailureTest, PulledOutRecorderNeedsANewConnection)
{
    stack.attachRecorder('E');
    ASSERT_EQ(dll().CConnectDV(), 1);
    stack.pullOut('E');
    char password[] = "000000";
    EXPECT_EQ(dll().CLogin(password), 0);
    EXPECT_EQ(stack.openHandleCount(), 1) << "the handle stays until the next CConnectDV";

    EXPECT_EQ(dll().CConnectDV(), 0);
    EXPECT_EQ(stack.openHandleCount(), 0);

    // Plugged in again at another letter.
    stack.attachRecorder('H');
    EXPECT_EQ(dll().CConnectDV(), 1);
    EXPECT_EQ(dll().CLogin(password), 1);
}

// The second part of a two-part command fails after the first went through.
TEST_F(FailureTest, FailedSecondPart)
{
    sim::Recorder& recorder = connectRecorder('E');
    std::memcpy(recorder.policeNumber.data(), "0123456789ABC", 13);

    stack.failIoctl(2);
    EXPECT_EQ(dll().CSetID("ZYXWVUTSRQPON"), 0);
    EXPECT_EQ(ioctls().size(), 2u);
    EXPECT_EQ(lastErrorReads(), 1u);

    stack.clearLog();
    stack.failIoctl(2);
    char number[14];
    std::memset(number, 0x5A, sizeof number);
    EXPECT_EQ(dll().CGetID(number), 0);
    EXPECT_EQ(ioctls().size(), 2u);
    for (char b : number)
        EXPECT_EQ(b, 0x5A);
}

TEST_F(FailureTest, NullPointersReturnZeroAndSendNothing)
{
    connectRecorder('E');
    EXPECT_EQ(dll().CLogin(nullptr), 0);
    EXPECT_EQ(dll().CSetPassword(nullptr), 0);
    EXPECT_EQ(dll().CSetTime(nullptr), 0);
    EXPECT_EQ(dll().CGetTime(nullptr), 0);
    EXPECT_EQ(dll().CSetID(nullptr), 0);
    EXPECT_EQ(dll().CGetID(nullptr), 0);
    EXPECT_TRUE(stack.log().empty());

    // Without a connection as well.
    stack.setAbsent('E');
    ASSERT_EQ(dll().CConnectDV(), 0);
    stack.clearLog();
    EXPECT_EQ(dll().CLogin(nullptr), 0);
    EXPECT_EQ(dll().CSetTime(nullptr), 0);
    EXPECT_EQ(dll().CSetID(nullptr), 0);
    EXPECT_TRUE(stack.log().empty());
}

}  // namespace
