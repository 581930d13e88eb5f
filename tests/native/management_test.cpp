// Management commands: the blocks that go out and how answers become results.
#include "management.h"
#include "sim_fixture.h"

#include <map>

using sim::Call;

namespace {

class Management : public SimTest {
protected:
    void SetUp() override { recorder = &connectRecorder(device); }

    // The management commands (sub-operations) that went out, in order.
    std::vector<int> subOperations() const
    {
        std::vector<int> out;
        for (const Call& c : stack.vendorCalls())
            out.push_back(c.request.cdb[4]);
        return out;
    }

    UsbScsiCmd device;
    sim::Recorder* recorder = nullptr;
};

TEST_F(Management, EveryCommandIsADataInManagementBlock)
{
    char pw[7] = "ABC123";
    const DeviceTime t{2013, 12, 31, 23, 59, 58};
    DeviceTime got{};
    char number[14] = "1234567890123";
    char out[14];
    CmdLogin(device, pw);
    CmdSetPassword(device, pw);
    CmdSetTime(device, &t);
    CmdGetTime(device, &got);
    CmdSetID(device, number);
    CmdGetID(device, out);
    CmdIntoUDiskMode(device);
    EXPECT_EQ(subOperations(), (std::vector<int>{0x07, 0x01, 0x03, 0x08, 0x02, 0x09, 0x0A, 0x0B, 0x04}));
    const std::map<int, uint32_t> lengths = {{0x07, 1}, {0x01, 1}, {0x03, 1}, {0x08, 8}, {0x02, 1},
                                             {0x09, 1}, {0x0A, 7}, {0x0B, 8}, {0x04, 1}};
    for (const Call& c : stack.vendorCalls()) {
        const int sub = c.request.cdb[4];
        EXPECT_EQ(cdbRange(c, 0, 3), bytes({0xFA, 0x55, 0x66, 0xFE})) << sub;
        EXPECT_EQ(cdbRange(c, 12, 15), bytes({0, 0, 0, 0})) << sub;
        SCOPED_TRACE(sub);
        expectDataInRequest(c, 16, lengths.at(sub));
        EXPECT_EQ(c.handle, device.handle()) << sub;
    }
}

TEST_F(Management, PasswordBytesTravelAsTheyStand)
{
    const char pw[6] = {'a', 'B', '1', '\0', char(0xC4), 'z'};
    recorder->password = {'a', 'B', '1', 0, 0xC4, 'z'};
    EXPECT_EQ(CmdLogin(device, pw), 1);
    EXPECT_EQ(CmdSetPassword(device, pw), 1);
    for (const Call& c : stack.vendorCalls())
        EXPECT_EQ(cdbRange(c, 5, 11), bytes({'a', 'B', '1', 0, 0xC4, 'z', 0}));
}

TEST_F(Management, LoginResult)
{
    EXPECT_EQ(CmdLogin(device, "000000"), 1);
    EXPECT_EQ(CmdLogin(device, "000001"), 0);  // refused: status 0
    stack.scriptStatus(0x07, 0x80);
    EXPECT_EQ(CmdLogin(device, "999999"), 1);  // any nonzero status is accepted
    stack.failIoctl(1);
    EXPECT_EQ(CmdLogin(device, "000000"), 0);
}

TEST_F(Management, SetPasswordLooksOnlyAtTheTransfer)
{
    stack.scriptStatus(0x01, 0);
    EXPECT_EQ(CmdSetPassword(device, "NEWPW1"), 1);
    stack.failIoctl(1);
    EXPECT_EQ(CmdSetPassword(device, "NEWPW2"), 0);
}

TEST_F(Management, SetTimeBlockAndRoundTrip)
{
    const DeviceTime t{2013, 12, 31, 23, 59, 58};
    ASSERT_EQ(CmdSetTime(device, &t), 1);
    EXPECT_EQ(cdbRange(stack.vendorCalls().at(0), 4, 11), bytes({0x03, 20, 13, 12, 31, 23, 59, 58}));
    DeviceTime got{};
    ASSERT_EQ(CmdGetTime(device, &got), 1);
    // The recorder's clock runs on; the read-back lands within a few seconds.
    EXPECT_EQ(got.year, 2013);
    EXPECT_EQ(got.month, 12);
    EXPECT_EQ(got.day, 31);
    EXPECT_EQ(got.hour, 23);
    EXPECT_EQ(got.minute, 59);
    EXPECT_GE(got.second, 58);
}

TEST_F(Management, SetTimeSendsTheLowBytesOfEachField)
{
    const DeviceTime t{1999, 0x105, 0x203, 0x10A, 0x13B, 0x100};
    CmdSetTime(device, &t);
    EXPECT_EQ(cdbRange(stack.vendorCalls().at(0), 5, 11), bytes({19, 99, 5, 3, 10, 0x3B, 0}));
}

TEST_F(Management, SetTimeResult)
{
    const DeviceTime t{2020, 2, 29, 12, 0, 0};
    EXPECT_EQ(CmdSetTime(device, &t), 1);
    stack.scriptStatus(0x03, 0);
    EXPECT_EQ(CmdSetTime(device, &t), 0);
    stack.scriptStatus(0x03, 7);
    EXPECT_EQ(CmdSetTime(device, &t), 1);
    // A transfer that fails has not set the clock.
    stack.failIoctl(1);
    EXPECT_EQ(CmdSetTime(device, &t), 0);
}

TEST_F(Management, GetTimeReadsTheResponseOnlyForStatusOne)
{
    for (int status : {0, 2, 255}) {
        DeviceTime got{1, 2, 3, 4, 5, 6};
        stack.scriptStatus(0x08, static_cast<uint8_t>(status));
        EXPECT_EQ(CmdGetTime(device, &got), status);
        EXPECT_EQ(got.year, 1) << status;
        EXPECT_EQ(got.second, 6) << status;
    }
    DeviceTime got{1, 2, 3, 4, 5, 6};
    stack.failIoctl(1);
    EXPECT_EQ(CmdGetTime(device, &got), 0);
    EXPECT_EQ(got.year, 1);
}

TEST_F(Management, SetIdSendsSixThenSevenBytes)
{
    ASSERT_EQ(CmdSetID(device, "ABCDEFGHIJKLM"), 1);
    const auto calls = stack.vendorCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(cdbRange(calls[0], 4, 11), bytes({0x02, 'A', 'B', 'C', 'D', 'E', 'F', 0}));
    EXPECT_EQ(cdbRange(calls[1], 4, 11), bytes({0x09, 'G', 'H', 'I', 'J', 'K', 'L', 'M'}));
    EXPECT_EQ(std::string(recorder->policeNumber.begin(), recorder->policeNumber.end()), "ABCDEFGHIJKLM");
}

// How the two parts of set-police-number end.
struct SetIdCase {
    const char* name;
    int firstFails;     // 1: the first transfer fails
    int firstStatus;    // -1: recorder's own answer
    int secondFails;
    int secondStatus;
    int result;
    size_t commandsSent;
};

class SetIdResults : public Management, public ::testing::WithParamInterface<SetIdCase> {};

TEST_P(SetIdResults, ReportWhatTheRecorderTook)
{
    const SetIdCase& c = GetParam();
    if (c.firstStatus >= 0)
        stack.scriptStatus(0x02, static_cast<uint8_t>(c.firstStatus));
    if (c.secondStatus >= 0)
        stack.scriptStatus(0x09, static_cast<uint8_t>(c.secondStatus));
    if (c.firstFails)
        stack.failIoctl(1);
    if (c.secondFails)
        stack.failIoctl(2);
    EXPECT_EQ(CmdSetID(device, "1234567890123"), c.result);
    EXPECT_EQ(ioctls().size(), c.commandsSent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetIdResults,
    ::testing::Values(SetIdCase{"BothTaken", 0, -1, 0, -1, 1, 2},
                      SetIdCase{"FirstRefused", 0, 0, 0, -1, 0, 1},
                      SetIdCase{"SecondRefused", 0, -1, 0, 0, 0, 2},
                      SetIdCase{"OddStatusesCountAsTaken", 0, 5, 0, 9, 1, 2},
                      SetIdCase{"FirstTransferFails", 1, -1, 0, -1, 0, 1},
                      SetIdCase{"SecondTransferFails", 0, -1, 1, -1, 0, 2}),
    [](const ::testing::TestParamInfo<SetIdCase>& i) { return std::string(i.param.name); });

TEST_F(Management, GetIdReadsBothParts)
{
    std::memcpy(recorder->policeNumber.data(), "ABCDEFGHIJKLM", 13);
    char out[14];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(CmdGetID(device, out), 1);
    EXPECT_EQ(std::string(out, 14), std::string("ABCDEFGHIJKLM") + '\0');
    const auto calls = stack.vendorCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(cdbRange(calls[1], 4, 11), bytes({0x0B, 0, 0, 0, 0, 0, 0, 0}));
}

// A read-back that does not deliver both parts leaves the caller's bytes alone.
struct GetIdCase {
    const char* name;
    int failAt;        // 0 none, 1 or 2: that transfer fails
    int firstStatus;   // -1: the recorder's own (1)
    int secondStatus;
    int result;
    size_t commandsSent;
};

class GetIdFailures : public Management, public ::testing::WithParamInterface<GetIdCase> {};

TEST_P(GetIdFailures, LeaveTheOutputUntouched)
{
    const GetIdCase& c = GetParam();
    std::memcpy(recorder->policeNumber.data(), "ABCDEFGHIJKLM", 13);
    if (c.firstStatus >= 0)
        stack.scriptStatus(0x0A, static_cast<uint8_t>(c.firstStatus));
    if (c.secondStatus >= 0)
        stack.scriptStatus(0x0B, static_cast<uint8_t>(c.secondStatus));
    if (c.failAt)
        stack.failIoctl(c.failAt);
    char out[14];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(CmdGetID(device, out), c.result);
    EXPECT_EQ(std::string(out, 14), std::string(14, '#'));
    EXPECT_EQ(ioctls().size(), c.commandsSent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetIdFailures,
    ::testing::Values(GetIdCase{"FirstTransferFails", 1, -1, -1, 0, 1},
                      GetIdCase{"SecondTransferFails", 2, -1, -1, 0, 2},
                      GetIdCase{"FirstStatusZero", 0, 0, -1, 0, 1},
                      GetIdCase{"FirstStatusTwo", 0, 2, -1, 2, 1},
                      GetIdCase{"SecondStatusZero", 0, -1, 0, 0, 2},
                      GetIdCase{"SecondStatusThree", 0, -1, 3, 3, 2}),
    [](const ::testing::TestParamInfo<GetIdCase>& i) { return std::string(i.param.name); });

TEST_F(Management, IntoUDiskModeLooksOnlyAtTheTransfer)
{
    stack.scriptStatus(0x04, 0);
    EXPECT_EQ(CmdIntoUDiskMode(device), 1);
    EXPECT_TRUE(recorder->uDiskMode);
    stack.failIoctl(1);
    EXPECT_EQ(CmdIntoUDiskMode(device), 0);
}

TEST_F(Management, RecorderPulledOutAfterDiscovery)
{
    stack.pullOut('G');
    char pw[7] = "000000";
    const DeviceTime t{2013, 1, 1, 0, 0, 0};
    DeviceTime got{9, 9, 9, 9, 9, 9};
    char out[14] = "untouched";
    EXPECT_EQ(CmdLogin(device, pw), 0);
    EXPECT_EQ(CmdSetPassword(device, pw), 0);
    EXPECT_EQ(CmdSetTime(device, &t), 0);
    EXPECT_EQ(CmdGetTime(device, &got), 0);
    EXPECT_EQ(got.year, 9);
    EXPECT_EQ(CmdSetID(device, "1234567890123"), 0);
    EXPECT_EQ(CmdGetID(device, out), 0);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(CmdIntoUDiskMode(device), 0);
    // One transfer each: the second parts never follow a failed first part.
    EXPECT_EQ(ioctls().size(), 7u);
}

TEST_F(Management, WithoutAConnectionEveryTransferFails)
{
    UsbScsiCmd fresh;
    const DeviceTime t{2013, 1, 1, 0, 0, 0};
    EXPECT_EQ(CmdLogin(fresh, "000000"), 0);
    EXPECT_EQ(CmdSetTime(fresh, &t), 0);
    EXPECT_EQ(CmdSetID(fresh, "1234567890123"), 0);
    for (const Call& c : ioctls())
        EXPECT_EQ(c.handle, nullptr);
}

TEST(UppercasePassword, ChangesOnlyTheBytesAToZ)
{
    char buf[8] = {'a', 'z', '`', '{', '5', '\0', 'q', 'q'};
    EXPECT_EQ(UppercasePassword(buf), buf);
    EXPECT_EQ(std::string(buf, 8), std::string({'A', 'Z', '`', '{', '5', '\0', 'q', 'q'}));

    // Bytes of 0x80 and above stay; a trail byte of a double-byte character
    // that falls in 'a'..'z' is raised like any other: bytes, not characters.
    char dbcs[6] = {char(0xB0), char(0x61), char(0xFF), 'm', char(0x80), 'A'};
    UppercasePassword(dbcs);
    EXPECT_EQ(std::string(dbcs, 6), std::string({char(0xB0), 'A', char(0xFF), 'M', char(0x80), 'A'}));
}

}  // namespace
