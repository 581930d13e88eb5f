// CConnectDV: discovery over the drive letters D to Z, the requests it sends,
// and what happens to the handle it keeps.
#include "dll_fixture.h"

namespace {

constexpr const char* kAllLetters = "DEFGHIJKLMNOPQRSTUVWXYZ";

struct DiscoveryCase {
    const char* name;
    const char* disks;      // letters with ordinary disks
    const char* recorders;  // letters with recorders
    int variant;            // probe variant of the recorders
    int result;
    const char* asked;      // letters CreateFileA is asked for, in order
    const char* closed;     // letters whose handles discovery closes
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) { *os << c.name; }

class DiscoveryTest : public DllTest, public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(DiscoveryTest, ScansUpwardFromDAndKeepsTheFirstRecorder)
{
    const DiscoveryCase& c = GetParam();
    for (const char* l = c.disks; *l; ++l)
        stack.attachDisk(*l);
    for (const char* l = c.recorders; *l; ++l)
        stack.attachRecorder(*l, c.variant);

    EXPECT_EQ(dll().CConnectDV(), c.result);
    EXPECT_EQ(askedLetters(), c.asked);
    EXPECT_EQ(closedLetters(), c.closed);
    EXPECT_EQ(stack.openHandleCount(), c.result);

    for (const sim::Call& create : callsOf(sim::Call::Kind::CreateFile)) {
        SCOPED_TRACE(create.path);
        EXPECT_EQ(create.access, 0xC0000000u) << "GENERIC_READ | GENERIC_WRITE";
        EXPECT_EQ(create.share, 3u) << "FILE_SHARE_READ | FILE_SHARE_WRITE";
        EXPECT_EQ(create.disposition, 3u) << "OPEN_EXISTING";
        EXPECT_EQ(create.flags, 0u);
        EXPECT_TRUE(create.securityNull);
        EXPECT_TRUE(create.templateNull);
    }
    // Each drive that opened got the inquiry and the probe, on its own handle.
    std::string probed;
    for (const sim::Call& io : ioctls()) {
        if (io.request.cdb[0] == 0xFA)
            probed += io.letter;
    }
    std::string opened;
    for (const sim::Call& create : callsOf(sim::Call::Kind::CreateFile))
        if (create.result != 0)
            opened += create.letter;
    EXPECT_EQ(probed, opened);
    EXPECT_EQ(ioctls().size(), 2 * opened.size());
    EXPECT_EQ(lastErrorReads(), 0u);
}

const DiscoveryCase kDiscoveryCases[] = {
    {"RecorderBehindTwoDisks", "DE", "G", 1, 1, "DEFG", "DE"},
    {"RecorderAtD", "", "D", 1, 1, "D", ""},
    {"LettersBeforeDAreNeverOpened", "CM", "CZ", 1, 1, kAllLetters, "M"},
    {"LowerOfTwoRecordersWins", "", "HK", 1, 1, "DEFGH", ""},
    {"SecondProbeAnswer", "D", "F", 2, 1, "DEF", "D"},
    {"OnlyDisks", "DZ", "", 1, 0, kAllLetters, "DZ"},
    {"NothingAttached", "", "", 1, 0, kAllLetters, ""},
};

INSTANTIATE_TEST_SUITE_P(Drives, DiscoveryTest, ::testing::ValuesIn(kDiscoveryCases),
                         [](const ::testing::TestParamInfo<DiscoveryCase>& info) {
                             return std::string(info.param.name);
                         });

using ConnectTest = DllTest;

TEST_F(ConnectTest, InquiryAndProbeRecords)
{
    stack.attachRecorder('E');
    ASSERT_EQ(dll().CConnectDV(), 1);
    const std::vector<sim::Call> io = ioctls();
    ASSERT_EQ(io.size(), 2u);

    SCOPED_TRACE("inquiry");
    expectDataInRequest(io[0], 36, 6);
    EXPECT_EQ(cdbBytes(io[0], 0, 15), bytesOf({0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    SCOPED_TRACE("probe");
    expectDataInRequest(io[1], 16);
    EXPECT_EQ(cdbBytes(io[1], 0, 15), bytesOf({0xFA, 0x55, 0x66, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(io[1].request.dataAreaHead[0], 0x33) << "the probe's data area starts with 0x33";
    EXPECT_EQ(io[0].handle, io[1].handle);
}

// A failed inquiry is ignored; a failed probe rejects the drive (and is the
// one failure of discovery whose error code is read).
struct ProbeFailureCase {
    const char* name;
    int failingIoctl;  // 1: the inquiry of D, 2: the probe of D
    char kept;
    const char* closed;
    size_t lastErrorReads;
};

void PrintTo(const ProbeFailureCase& c, std::ostream* os) { *os << c.name; }

class ProbeFailureTest : public DllTest, public ::testing::WithParamInterface<ProbeFailureCase> {};

TEST_P(ProbeFailureTest, DecidesWhichRecorderIsKept)
{
    const ProbeFailureCase& c = GetParam();
    stack.attachRecorder('D');
    stack.attachRecorder('F');
    stack.failIoctl(c.failingIoctl);
    EXPECT_EQ(dll().CConnectDV(), 1);
    EXPECT_EQ(closedLetters(), c.closed);
    EXPECT_EQ(lastErrorReads(), c.lastErrorReads);
    EXPECT_EQ(stack.openHandleCount(), 1);

    // The kept handle is the one the next command travels on.
    stack.clearLog();
    EXPECT_EQ(dll().CIntoUDiskMode(), 1);
    ASSERT_EQ(ioctls().size(), 1u);
    EXPECT_EQ(ioctls()[0].letter, c.kept);
}

const ProbeFailureCase kProbeFailureCases[] = {
    {"FailedInquiry", 1, 'D', "", 0},
    {"FailedProbe", 2, 'F', "D", 1},
};

INSTANTIATE_TEST_SUITE_P(Transfers, ProbeFailureTest, ::testing::ValuesIn(kProbeFailureCases),
                         [](const ::testing::TestParamInfo<ProbeFailureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ConnectTest, ConnectingAgainReleasesTheHandleItKept)
{
    connectRecorder('F');
    const HANDLE first = kept;
    ASSERT_NE(first, nullptr);

    EXPECT_EQ(dll().CConnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 1);
    const std::vector<sim::Call> log = stack.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].kind, sim::Call::Kind::CloseHandle) << "the old handle goes before the scan";
    EXPECT_EQ(log[0].handle, first);

    // The recorder leaves: connecting finds nothing and keeps nothing open.
    stack.setAbsent('F');
    stack.clearLog();
    EXPECT_EQ(dll().CConnectDV(), 0);
    EXPECT_EQ(stack.openHandleCount(), 0);
    EXPECT_EQ(closedLetters(), "FD");

    // No connection, so nothing to close a second time.
    stack.clearLog();
    EXPECT_EQ(dll().CConnectDV(), 0);
    EXPECT_EQ(callsOf(sim::Call::Kind::CloseHandle).size(), 1u) << "only the disk at D";
}

TEST_F(ConnectTest, DisconnectFreesTheRecorderAndLaterCallsFindItAgain)
{
    connectRecorder('F');
    const HANDLE first = kept;
    EXPECT_EQ(dll().CDisconnectDV(), 1);
    ASSERT_EQ(callsOf(sim::Call::Kind::CloseHandle).size(), 1u);
    EXPECT_EQ(callsOf(sim::Call::Kind::CloseHandle)[0].handle, first);
    EXPECT_EQ(stack.openHandleCount(), 0) << "Windows could remove the recorder safely now";

    stack.clearLog();
    char password[] = "000000";
    EXPECT_EQ(dll().CLogin(password), 1);
    EXPECT_EQ(stack.openHandleCount(), 1);
    const std::vector<sim::Call> opens = callsOf(sim::Call::Kind::CreateFile);
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens.front().path, "\\\\.\\D:") << "discovery runs again from D";
    const std::vector<sim::Call> sent = ioctls();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().letter, 'F');
    EXPECT_EQ(sent.back().request.cdb[4], 0x07);

    EXPECT_EQ(dll().CDisconnectDV(), 1);
    EXPECT_EQ(dll().CDisconnectDV(), 1);
    EXPECT_EQ(stack.openHandleCount(), 0);
}

}  // namespace
