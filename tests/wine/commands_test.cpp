// The seven exports that talk to a connected recorder: what they send, what
// they return, and what they do to the caller's memory.
#include "dll_fixture.h"

#include <cstring>

namespace {

class ConnectedTest : public DllTest {
protected:
    void SetUp() override
    {
        DllTest::SetUp();
        if (HasFatalFailure())
            return;
        recorder = &connectRecorder('F');
        ASSERT_NE(kept, nullptr);
    }

    sim::Recorder* recorder = nullptr;
};

// Every management command: one or two buffered data-in requests on the kept
// handle, operation 0xFE, the sub-operation in byte 4, nothing in bytes 12-15.
struct ManagementCase {
    const char* name;
    int (*call)(const Rkm51Functions&);
    std::vector<int> subOperations;
    std::vector<uint32_t> lengths;
};

void PrintTo(const ManagementCase& c, std::ostream* os) { *os << c.name; }

class ManagementRequestTest : public ConnectedTest, public ::testing::WithParamInterface<ManagementCase> {};

TEST_P(ManagementRequestTest, SendsBufferedDataInRequests)
{
    const ManagementCase& c = GetParam();
    EXPECT_EQ(c.call(dll()), 1);
    const std::vector<sim::Call> io = ioctls();
    ASSERT_EQ(io.size(), c.subOperations.size());
    for (size_t i = 0; i < io.size(); ++i) {
        SCOPED_TRACE(i);
        expectDataInRequest(io[i], c.lengths[i]);
        EXPECT_EQ(io[i].handle, kept);
        EXPECT_EQ(cdbBytes(io[i], 0, 4), bytesOf({0xFA, 0x55, 0x66, 0xFE, c.subOperations[i]}));
        EXPECT_EQ(cdbBytes(io[i], 12, 15), bytesOf({0, 0, 0, 0}));
    }
    EXPECT_EQ(lastErrorReads(), 0u);
}

char g_password[6] = {'0', '0', '0', '0', '0', '0'};
char g_number[14] = "PN-0123456789";
RecorderTime g_time = {58, 59, 23, 31, 12, 2013};

const ManagementCase kManagementCases[] = {
    {"Login", [](const Rkm51Functions& f) { return f.CLogin(g_password); }, {0x07}, {1}},
    {"SetPassword", [](const Rkm51Functions& f) { return f.CSetPassword(g_password); }, {0x01}, {1}},
    {"SetTime", [](const Rkm51Functions& f) { return f.CSetTime(&g_time); }, {0x03}, {1}},
    {"GetTime", [](const Rkm51Functions& f) { RecorderTime t; return f.CGetTime(&t); }, {0x08}, {8}},
    {"SetID", [](const Rkm51Functions& f) { return f.CSetID(g_number); }, {0x02, 0x09}, {1, 1}},
    {"GetID", [](const Rkm51Functions& f) { char n[14]; return f.CGetID(n); }, {0x0A, 0x0B}, {7, 8}},
    {"IntoUDiskMode", [](const Rkm51Functions& f) { return f.CIntoUDiskMode(); }, {0x04}, {1}},
};

INSTANTIATE_TEST_SUITE_P(Exports, ManagementRequestTest, ::testing::ValuesIn(kManagementCases),
                         [](const ::testing::TestParamInfo<ManagementCase>& info) {
                             return std::string(info.param.name);
                         });

using LoginTest = ConnectedTest;

TEST_F(LoginTest, UppercasesSixBytesOfTheCallersBufferAndSendsThem)
{
    std::memcpy(recorder->password.data(), "AB12CD", 6);
    struct Case {
        const char* typed;  // eight bytes: only the first six are the password
        int result;
        const char* after;  // the caller's eight bytes afterwards
    };
    for (const Case& c : {Case{"ab12cdxy", 1, "AB12CDxy"}, Case{"AB12CD\0\0", 1, "AB12CD\0\0"},
                          Case{"zz0000ab", 0, "ZZ0000ab"}, Case{"a`{z\xE1\0q", 0, "A`{Z\xE1\0q"}}) {
        SCOPED_TRACE(c.after);
        stack.clearLog();
        char buffer[8];
        std::memcpy(buffer, c.typed, 8);
        EXPECT_EQ(dll().CLogin(buffer), c.result);
        EXPECT_EQ(std::memcmp(buffer, c.after, 8), 0) << "caller's buffer";
        ASSERT_EQ(ioctls().size(), 1u);
        const std::vector<uint8_t> wire = cdbBytes(ioctls()[0], 5, 11);
        EXPECT_EQ(std::memcmp(wire.data(), c.after, 6), 0) << "password bytes in the block";
        EXPECT_EQ(wire[6], 0) << "block byte 11";
    }
}

TEST_F(LoginTest, SetPasswordUppercasesAndTheNewPasswordLogsIn)
{
    char fresh[] = "new1ab";
    EXPECT_EQ(dll().CSetPassword(fresh), 1);
    EXPECT_STREQ(fresh, "NEW1AB");
    EXPECT_EQ(cdbBytes(ioctls()[0], 5, 10), bytesOf({'N', 'E', 'W', '1', 'A', 'B'}));
    EXPECT_EQ(std::memcmp(recorder->password.data(), "NEW1AB", 6), 0);

    char old[] = "000000";
    EXPECT_EQ(dll().CLogin(old), 0);
    char lower[] = "new1ab";
    EXPECT_EQ(dll().CLogin(lower), 1);
}

using TimeTest = ConnectedTest;

TEST_F(TimeTest, LastSecondsOf2013RoundTrip)
{
    const RecorderTime set = {58, 59, 23, 31, 12, 2013};
    EXPECT_EQ(dll().CSetTime(&set), 1);
    EXPECT_EQ(cdbBytes(ioctls()[0], 5, 11), bytesOf({20, 13, 12, 31, 23, 59, 58}));
    EXPECT_EQ(set.year, 2013) << "the caller's record is left alone";

    RecorderTime got = {-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(dll().CGetTime(&got), 1);
    // The recorder's clock runs on; a second may have passed.
    EXPECT_EQ(got.year, 2013);
    EXPECT_EQ(got.month, 12);
    EXPECT_EQ(got.day, 31);
    EXPECT_EQ(got.hour, 23);
    EXPECT_EQ(got.minute, 59);
    EXPECT_TRUE(got.second == 58 || got.second == 59) << got.second;
}

TEST_F(TimeTest, OnlyTheLowSixteenBitsOfEachFieldTravel)
{
    struct Case {
        RecorderTime time;
        std::vector<uint8_t> wire;
    };
    for (const Case& c : {Case{{58, 59, 23, 31, 12, 65536 + 2013}, bytesOf({20, 13, 12, 31, 23, 59, 58})},
                          Case{{0, 0, 0, 1, 1, 1999}, bytesOf({19, 99, 1, 1, 0, 0, 0})},
                          Case{{7 + 65536, 6, 5, 4, 3 + 131072, 2000}, bytesOf({20, 0, 3, 4, 5, 6, 7})}}) {
        SCOPED_TRACE(c.time.year);
        stack.clearLog();
        EXPECT_EQ(dll().CSetTime(&c.time), 1);
        ASSERT_EQ(ioctls().size(), 1u);
        EXPECT_EQ(cdbBytes(ioctls()[0], 5, 11), c.wire);
    }
}

TEST_F(TimeTest, RefusedTimeIsReported)
{
    const RecorderTime bad = {0, 0, 0, 1, 13, 2013};  // month 13: the recorder says 0
    EXPECT_EQ(dll().CSetTime(&bad), 0);
    stack.scriptStatus(0x03, 0);
    const RecorderTime good = {0, 0, 12, 1, 6, 2013};
    EXPECT_EQ(dll().CSetTime(&good), 0);
    stack.scriptStatus(0x03, 7);
    EXPECT_EQ(dll().CSetTime(&good), 1);
}

TEST_F(TimeTest, GetTimeWithoutValidPayloadZeroesEveryField)
{
    for (int status : {0, 2, 255}) {
        SCOPED_TRACE(status);
        stack.scriptStatus(0x08, static_cast<uint8_t>(status));
        RecorderTime got = {1, 2, 3, 4, 5, 6};
        EXPECT_EQ(dll().CGetTime(&got), status);
        EXPECT_EQ(got.second | got.minute | got.hour | got.day | got.month | got.year, 0);
    }
}

using PoliceNumberTest = ConnectedTest;

TEST_F(PoliceNumberTest, ThirteenBytesGoAsSixAndSevenAndComeBackWithAZero)
{
    const char number[14] = "AB-1234567xyz";
    EXPECT_EQ(dll().CSetID(number), 1);
    std::vector<sim::Call> io = ioctls();
    ASSERT_EQ(io.size(), 2u);
    EXPECT_EQ(cdbBytes(io[0], 4, 11), bytesOf({0x02, 'A', 'B', '-', '1', '2', '3', 0}));
    EXPECT_EQ(cdbBytes(io[1], 4, 11), bytesOf({0x09, '4', '5', '6', '7', 'x', 'y', 'z'}));
    EXPECT_EQ(std::memcmp(recorder->policeNumber.data(), number, 13), 0);

    char back[16];
    std::memset(back, 0x5A, sizeof back);
    EXPECT_EQ(dll().CGetID(back), 1);
    EXPECT_EQ(std::memcmp(back, number, 14), 0) << "13 characters and a zero";
    EXPECT_EQ(back[14], 0x5A) << "nothing past the 14 bytes";
}

TEST_F(PoliceNumberTest, RefusedFirstPartEndsTheCommand)
{
    stack.scriptStatus(0x02, 0);
    EXPECT_EQ(dll().CSetID("0123456789ABC"), 0);
    ASSERT_EQ(ioctls().size(), 1u);
    EXPECT_EQ(ioctls()[0].request.cdb[4], 0x02);

    stack.clearLog();
    stack.scriptStatus(0x09, 0);
    EXPECT_EQ(dll().CSetID("0123456789ABC"), 0);
    EXPECT_EQ(ioctls().size(), 2u);
}

// A read-back that is not whole leaves the caller's bytes as they were.
TEST_F(PoliceNumberTest, PartialReadBackIsNeverDelivered)
{
    std::memcpy(recorder->policeNumber.data(), "0123456789ABC", 13);
    struct Case {
        uint8_t subOperation;
        uint8_t status;
        int result;
        size_t commands;
    };
    for (const Case& c : {Case{0x0A, 0, 0, 1}, Case{0x0A, 5, 5, 1}, Case{0x0B, 0, 0, 2}, Case{0x0B, 2, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << "sub-operation " << int(c.subOperation) << " status " << int(c.status));
        stack.clearLog();
        stack.scriptStatus(c.subOperation, c.status);
        char out[14];
        std::memset(out, 0x5A, sizeof out);
        EXPECT_EQ(dll().CGetID(out), c.result);
        EXPECT_EQ(ioctls().size(), c.commands);
        for (char b : out)
            EXPECT_EQ(b, 0x5A);
    }
}

TEST_F(ConnectedTest, IntoUDiskModeSwitchesTheRecorder)
{
    EXPECT_EQ(dll().CIntoUDiskMode(), 1);
    EXPECT_TRUE(recorder->uDiskMode);
    EXPECT_EQ(cdbBytes(ioctls()[0], 4, 15), bytesOf({0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
