// The shipped DLL when the recorder refuses a command with CHECK CONDITION,
// answers it short or with UNIT ATTENTION, in this process's record layout.
#include "dll_fixture.h"

#include <cstring>

namespace {

using RefusalTest = DllTest;

// The headline case: a refused set-password or USB-disk mode is no success.
TEST_F(RefusalTest, RefusedCommandsAreReportedAsFailures)
{
    sim::Recorder& recorder = connectRecorder('E');
    stack.answerCheckCondition(sim::CommandSelector::management(0x01), sim::kIllegalRequest);
    stack.answerCheckCondition(sim::CommandSelector::management(0x04), sim::kIllegalRequest);

    char password[] = "newpw1";
    EXPECT_EQ(dll().CSetPassword(password), 0);
    EXPECT_EQ(std::string(recorder.password.begin(), recorder.password.end()), "000000");
    EXPECT_EQ(dll().CIntoUDiskMode(), 0);
    EXPECT_FALSE(recorder.uDiskMode);

    const std::vector<sim::Call> calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);  // neither is resent
    for (const sim::Call& c : calls) {
        SCOPED_TRACE(int(c.request.cdb[4]));
        expectDataInRequest(c, 1);
        EXPECT_EQ(c.result, 1u) << "the call itself succeeded";
        EXPECT_EQ(c.replyStatus, 2);
        ASSERT_EQ(c.replySense.size(), 18u);
        EXPECT_EQ(c.replySense[2], 0x05);
        EXPECT_EQ(c.replySense[12], 0x24);
    }
    EXPECT_EQ(cdbBytes(calls[0], 3, 10), bytesOf({0xFE, 0x01, 'N', 'E', 'W', 'P', 'W', '1'}));
    EXPECT_EQ(lastErrorReads(), 0u) << "a call that succeeded has no error to read";
}

TEST_F(RefusalTest, UnitAttentionIsResentOnceByteForByte)
{
    connectRecorder('E');
    stack.answerCheckCondition(sim::CommandSelector::management(0x07), sim::kUnitAttention, 1);
    char password[] = "000000";
    EXPECT_EQ(dll().CLogin(password), 1);
    std::vector<sim::Call> calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);
    for (const sim::Call& c : calls)
        expectDataInRequest(c, 1);
    EXPECT_EQ(calls[0].replyStatus, 2);
    EXPECT_EQ(calls[1].replyStatus, 0);
    EXPECT_EQ(calls[0].request.cdb, calls[1].request.cdb);
    EXPECT_EQ(calls[0].request.dataAreaHead, calls[1].request.dataAreaHead);

    // Every time: one resend, then the failure.
    stack.clearLog();
    stack.answerCheckCondition(sim::CommandSelector::management(0x03), sim::kUnitAttention);
    const RecorderTime set = {58, 59, 23, 31, 12, 2013};
    EXPECT_EQ(dll().CSetTime(&set), 0);
    calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].request.cdb, calls[1].request.cdb);
    EXPECT_EQ(cdbBytes(calls[1], 4, 11), bytesOf({0x03, 20, 13, 12, 31, 23, 59, 58}));
}

TEST_F(RefusalTest, ShortAnswersAreNotRead)
{
    sim::Recorder& recorder = connectRecorder('E');
    std::memcpy(recorder.policeNumber.data(), "0123456789ABC", 13);
    stack.answerShort(sim::CommandSelector::management(0x08), 7);
    stack.answerShort(sim::CommandSelector::management(0x0B), 7);

    RecorderTime got = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(dll().CGetTime(&got), 0);
    EXPECT_EQ(got.second | got.minute | got.hour | got.day | got.month | got.year, 0);

    char number[14];
    std::memset(number, 0x5A, sizeof number);
    EXPECT_EQ(dll().CGetID(number), 0);
    for (char b : number)
        EXPECT_EQ(b, 0x5A);

    const std::vector<sim::Call> calls = ioctls();
    ASSERT_EQ(calls.size(), 3u);
    expectDataInRequest(calls[0], 8);
    expectDataInRequest(calls[2], 8);
    EXPECT_EQ(calls[2].replyLength, 7u);
}

TEST_F(RefusalTest, ConnectGetsOverUnitAttentionAfterPlugIn)
{
    stack.attachRecorder('E');
    stack.answerCheckCondition(sim::CommandSelector::vendorOperation(0x01), sim::kUnitAttention, 1);
    EXPECT_EQ(dll().CConnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 1);
    const std::vector<sim::Call> calls = ioctls();
    ASSERT_EQ(calls.size(), 3u);  // INQUIRY, probe, probe again
    expectDataInRequest(calls[1], 16);
    expectDataInRequest(calls[2], 16);
    EXPECT_EQ(calls[1].request.dataAreaHead, calls[2].request.dataAreaHead);
}

}  // namespace
