// The exported API over the simulated stack: one library-wide device object.
#include "RKM51DLL.h"
#include "sim_fixture.h"

#include <atomic>
#include <thread>

using sim::Call;

namespace {

class Exports : public SimTest {
protected:
    void SetUp() override
    {
        // Leave the library-wide object without a connection.
        ASSERT_EQ(CConnectDV(), 0);
        stack.clearLog();
    }

    sim::Recorder& connect()
    {
        stack.attachDisk('D');
        sim::Recorder& r = stack.attachRecorder('F');
        EXPECT_EQ(CConnectDV(), 1);
        stack.clearLog();
        return r;
    }
};

TEST_F(Exports, WithoutAConnection)
{
    char pw[6] = {'a', 'b', '1', 0, 0, 0};
    EXPECT_EQ(CLogin(pw), 0);
    EXPECT_EQ(std::string(pw, 6), std::string({'A', 'B', '1', 0, 0, 0}));  // upper-cased anyway
    char newPw[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(CSetPassword(newPw), 0);
    EXPECT_EQ(CIntoUDiskMode(), 0);
    char id[14];
    std::memset(id, '#', sizeof id);
    EXPECT_EQ(CGetID(id), 0);
    EXPECT_EQ(std::string(id, 14), std::string(14, '#'));
    RecorderTime t{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(CGetTime(&t), 0);
    EXPECT_EQ(t.second + t.minute + t.hour + t.day + t.month + t.year, 0);
    // A transfer that cannot reach a recorder is no success.
    const RecorderTime set{0, 0, 0, 1, 1, 2013};
    EXPECT_EQ(CSetTime(&set), 0);
    EXPECT_EQ(CSetID("1234567890123"), 0);
    for (const Call& c : ioctls())
        EXPECT_EQ(c.handle, nullptr);
}

TEST_F(Exports, DisconnectAloneSendsNothing)
{
    EXPECT_EQ(CDisconnectDV(), 1);
    EXPECT_TRUE(stack.log().empty());
}

TEST_F(Exports, DisconnectFreesTheRecorderAndTheNextCallFindsItAgain)
{
    sim::Recorder& r = connect();
    std::memcpy(r.password.data(), "ABC123", 6);
    EXPECT_EQ(CDisconnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 0);
    EXPECT_EQ(stack.callsOf(Call::Kind::CloseHandle).size(), 1u);
    EXPECT_EQ(CDisconnectDV(), 1);  // nothing left to close
    EXPECT_EQ(stack.callsOf(Call::Kind::CloseHandle).size(), 1u);

    stack.clearLog();
    char pw[6] = {'a', 'b', 'c', '1', '2', '3'};
    EXPECT_EQ(CLogin(pw), 1);
    EXPECT_EQ(std::string(pw, 6), "ABC123");
    // Discovery from D again, then the login on the recorder at F.
    const auto opened = stack.callsOf(Call::Kind::CreateFile);
    ASSERT_GE(opened.size(), 3u);
    EXPECT_EQ(opened.front().path, "\\\\.\\D:");
    EXPECT_EQ(opened.back().path, "\\\\.\\F:");
    const auto calls = stack.vendorCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(cdbRange(calls.back(), 4, 10), bytes({0x07, 'A', 'B', 'C', '1', '2', '3'}));
    EXPECT_EQ(stack.openHandleCount(), 1);

    // While a handle is kept, no further discovery.
    stack.clearLog();
    EXPECT_EQ(CIntoUDiskMode(), 1);
    EXPECT_TRUE(stack.callsOf(Call::Kind::CreateFile).empty());
    EXPECT_EQ(CDisconnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 0);
}

TEST_F(Exports, SetPasswordUpperCasesInPlace)
{
    sim::Recorder& r = connect();
    char pw[6] = {'n', 'e', 'w', '9', 0, 0};
    EXPECT_EQ(CSetPassword(pw), 1);
    EXPECT_EQ(std::string(pw, 6), std::string({'N', 'E', 'W', '9', 0, 0}));
    EXPECT_EQ(std::string(r.password.begin(), r.password.end()), std::string({'N', 'E', 'W', '9', 0, 0}));
}

TEST_F(Exports, TimeRoundTripInTheCallersOrder)
{
    connect();
    const RecorderTime set{58, 59, 23, 31, 12, 65536 + 2013};  // only the low 16 bits count
    EXPECT_EQ(CSetTime(&set), 1);
    EXPECT_EQ(cdbRange(stack.vendorCalls().at(0), 4, 11), bytes({0x03, 20, 13, 12, 31, 23, 59, 58}));
    RecorderTime got{};
    ASSERT_EQ(CGetTime(&got), 1);
    EXPECT_EQ(got.year, 2013);
    EXPECT_EQ(got.month, 12);
    EXPECT_EQ(got.day, 31);
    EXPECT_EQ(got.hour, 23);
    EXPECT_EQ(got.minute, 59);
    EXPECT_GE(got.second, 58);
}

TEST_F(Exports, GetTimeRefusedClearsTheRecord)
{
    connect();
    stack.scriptStatus(0x08, 0);
    RecorderTime got{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(CGetTime(&got), 0);
    EXPECT_EQ(got.second + got.minute + got.hour + got.day + got.month + got.year, 0);
    stack.scriptStatus(0x08, 2);
    EXPECT_EQ(CGetTime(&got), 2);
}

TEST_F(Exports, PoliceNumberRoundTrip)
{
    connect();
    EXPECT_EQ(CSetID("police-007abc"), 1);
    char out[14];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(CGetID(out), 1);
    EXPECT_EQ(std::string(out, 14), std::string("police-007abc") + '\0');
}

TEST_F(Exports, SetTimeAndSetIdReportARecorderPulledOut)
{
    connect();
    stack.pullOut('F');
    const RecorderTime set{0, 0, 0, 1, 1, 2013};
    EXPECT_EQ(CSetTime(&set), 0);
    EXPECT_EQ(CSetID("1234567890123"), 0);
    EXPECT_EQ(CIntoUDiskMode(), 0);
    EXPECT_EQ(ioctls().size(), 3u);
}

TEST_F(Exports, NullPointersAreRefusedWithoutSending)
{
    connect();
    EXPECT_EQ(CLogin(nullptr), 0);
    EXPECT_EQ(CSetPassword(nullptr), 0);
    EXPECT_EQ(CSetTime(nullptr), 0);
    EXPECT_EQ(CGetTime(nullptr), 0);
    EXPECT_EQ(CSetID(nullptr), 0);
    EXPECT_EQ(CGetID(nullptr), 0);
    EXPECT_TRUE(stack.log().empty());
}

TEST_F(Exports, ReconnectReplacesTheHandle)
{
    connect();
    EXPECT_EQ(CConnectDV(), 1);
    EXPECT_EQ(CConnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 1);
    EXPECT_EQ(CIntoUDiskMode(), 1);
}

TEST_F(Exports, ConnectOnOneThreadNeverCutsACommandOnAnother)
{
    connect();
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread worker([&] {
        while (!stop) {
            RecorderTime t{};
            if (CGetTime(&t) != 1)
                ++failures;
        }
    });
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(CConnectDV(), 1);
    stop = true;
    worker.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(stack.openHandleCount(), 1);
}

}  // namespace
