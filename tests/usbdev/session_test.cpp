#include "disk_fixture.h"
#include "session.h"

#include <deque>

namespace usbdev::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Bulk endpoints in memory: packets the host sends, and what the device wrote
// back, with halts recorded in place.
class FakePipe : public BulkPipe {
public:
    std::deque<Bytes> toDevice;
    std::vector<Bytes> fromDevice;  // each write; a halt is an entry "HALT"
    long readOut(uint8_t* buffer, size_t size) override
    {
        if (toDevice.empty())
            return -1;
        Bytes& p = toDevice.front();
        const size_t n = std::min(size, p.size());
        std::copy(p.begin(), p.begin() + n, buffer);
        p.erase(p.begin(), p.begin() + n);
        if (p.empty())
            toDevice.pop_front();
        return long(n);
    }
    long writeIn(const uint8_t* data, size_t size) override
    {
        fromDevice.emplace_back(data, data + size);
        return long(size);
    }
    void haltIn() override { fromDevice.push_back(halt()); }
    static Bytes halt() { return {'H', 'A', 'L', 'T'}; }
};

Bytes csw(uint32_t tag, uint32_t residue, CswStatus status)
{
    const auto c = makeCsw(tag, residue, status);
    return Bytes(c.begin(), c.end());
}

class SessionTest : public DiskTest {
protected:
    FakePipe pipe;
    std::atomic<unsigned> resets{0};
    Session session{pipe, disk, resets};
    std::vector<std::string> logLines;
    std::vector<uint32_t> slept;

    void SetUp() override
    {
        session.onLog = [this](const std::string& l) { logLines.push_back(l); };
        session.sleepMs = [this](uint32_t ms) { slept.push_back(ms); };
    }
    void send(const Cbw& c, const Bytes& data = {})
    {
        pipe.toDevice.push_back(wrapperBytes(c));
        if (!data.empty())
            pipe.toDevice.push_back(data);
    }
};

TEST_F(SessionTest, ShortAnswerFillsTheDataStageAndReportsTheResidue)
{
    Cbw login = management(0x07, {'0', '0', '0', '0', '0', '0'});
    login.tag = 0x11223344;
    send(login);
    ASSERT_TRUE(session.serveOne());
    Bytes stage(16, 0);
    stage[0] = 1;
    ASSERT_EQ(pipe.fromDevice.size(), 2u);
    EXPECT_EQ(pipe.fromDevice[0], stage);
    EXPECT_EQ(pipe.fromDevice[1], csw(0x11223344, 15, CswStatus::Passed));
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("cdb=fa5566fe073030303030300000000000 dir=in len=16 in=01 status=0 residue=15"),
              std::string::npos)
        << logLines[0];
}

TEST_F(SessionTest, DataOutIsTakenWholeBeforeTheStatus)
{
    Bytes data(1024, 0x5A);
    send(cbw({0x2A, 0, 0, 0, 0, 3, 0, 0, 2, 0}, 1024, false, 9));
    // The host's data arrives in packets of its own size.
    pipe.toDevice.push_back(Bytes(data.begin(), data.begin() + 512));
    pipe.toDevice.push_back(Bytes(data.begin() + 512, data.end()));
    ASSERT_TRUE(session.serveOne());
    ASSERT_EQ(pipe.fromDevice.size(), 1u);
    EXPECT_EQ(pipe.fromDevice[0], csw(9, 0, CswStatus::Passed));
    EXPECT_EQ(Bytes(disk.image().begin() + 3 * 512, disk.image().begin() + 5 * 512), data);
    EXPECT_TRUE(pipe.toDevice.empty());
}

TEST_F(SessionTest, FailedDataInCommandSendsZerosAndAFailedStatus)
{
    send(cbw({0xFA, 0x55, 0x66, 0x0C}, 16, true, 3));
    ASSERT_TRUE(session.serveOne());
    ASSERT_EQ(pipe.fromDevice.size(), 2u);
    EXPECT_EQ(pipe.fromDevice[0], Bytes(16, 0));
    EXPECT_EQ(pipe.fromDevice[1], csw(3, 16, CswStatus::Failed));
}

TEST_F(SessionTest, StallHaltsBulkInThenFails)
{
    Fault stall;
    stall.kind = FaultKind::Stall;
    disk.addFault(stall);
    send(management(0x08));
    ASSERT_TRUE(session.serveOne());
    ASSERT_EQ(pipe.fromDevice.size(), 2u);
    EXPECT_EQ(pipe.fromDevice[0], FakePipe::halt());
    EXPECT_EQ(pipe.fromDevice[1], csw(7, 16, CswStatus::Failed));
}

TEST_F(SessionTest, LateAnswerIsSentUnlessTheHostResetMeanwhile)
{
    Fault late;
    late.kind = FaultKind::Delay;
    late.delayMs = 120;
    late.count = 2;
    disk.addFault(late);
    send(management(0x04));
    ASSERT_TRUE(session.serveOne());
    EXPECT_EQ(slept, (std::vector<uint32_t>{50, 50, 20}));
    ASSERT_EQ(pipe.fromDevice.size(), 2u);
    EXPECT_EQ(pipe.fromDevice[1], csw(7, 15, CswStatus::Passed));

    // The host gives up and resets while the answer is held back.
    pipe.fromDevice.clear();
    session.sleepMs = [this](uint32_t) { ++resets; };
    send(management(0x04));
    ASSERT_TRUE(session.serveOne());
    EXPECT_TRUE(pipe.fromDevice.empty()) << "nothing of the dropped answer reaches the next command";
    EXPECT_NE(logLines.back().find("dropped="), std::string::npos);
}

TEST_F(SessionTest, InvalidWrapperHaltsAndEndpointLossEndsTheCycle)
{
    pipe.toDevice.push_back(Bytes(30, 0x55));
    ASSERT_TRUE(session.serveOne());
    EXPECT_EQ(pipe.fromDevice, std::vector<Bytes>{FakePipe::halt()});
    // Data-out that never comes: the endpoint went away.
    send(cbw({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 512, false));
    EXPECT_FALSE(session.serveOne());
    EXPECT_FALSE(session.serveOne()) << "no wrapper at all";
}

TEST_F(SessionTest, UnplugComesAfterTheStatusIsSent)
{
    Fault unplug;
    unplug.kind = FaultKind::UnplugAfter;
    unplug.op = 0x01;
    disk.addFault(unplug);
    size_t writesAtUnplug = 0;
    session.onUnplug = [&] { writesAtUnplug = pipe.fromDevice.size(); };
    send(cbw({0xFA, 0x55, 0x66, 0x01}, 16, true));
    ASSERT_TRUE(session.serveOne());
    EXPECT_EQ(writesAtUnplug, 2u);
    EXPECT_EQ(pipe.fromDevice[1], csw(7, 0, CswStatus::Passed));
}

}  // namespace
}  // namespace usbdev::test
