// time sync and time check against recorders whose clocks the scenario puts
// ahead or behind: the measured offsets, and where the recorders' clocks end up.
#include "cli_fixture.h"

#include "pc_clock.h"

#include <algorithm>
#include <cstdlib>

namespace clitest {
namespace {

class Clock : public CliTest {
protected:
    void SetUp() override { env.variables["KORVANE_PASSWORD"] = "000000"; }
};

TEST_F(Clock, TimeCheckMeasuresTheScenarioOffset)
{
    machine("recorder=E:1:000000:250,recorder=G:1:000000:-1300,recorder=K:2:000000:0,recorder=M:1:000000:3600000");
    EXPECT_EQ(run({"--all", "--json", "time", "check"}), 0) << env.errText;
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 4u);
    const int expected[] = {250, -1300, 0, 3600000};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(doc[i]["offset_ms"].get<double>(), expected[i], 10) << doc[i]["where"];
    // Nothing was set.
    EXPECT_TRUE(managementCalls(kSubSetTime).empty());
}

TEST_F(Clock, TimeCheckOfASlowRecorder)
{
    machine("clock=420");
    holdGetTimeMs = 4;  // every answer takes 4 ms
    const int64_t start = pcclock::nowMicros();
    EXPECT_EQ(run({"--json", "time", "check"}), 0) << env.errText;
    EXPECT_NEAR(json()[0]["offset_ms"].get<double>(), 420, 10);
    // Not held to closer readings than it can give (which would run to the five-second limit).
    EXPECT_LT(pcclock::nowMicros() - start, 4900000);
}

TEST_F(Clock, AlignedSyncPutsTheRecorderOnThePcsSecond)
{
    machine("clock=-700");
    EXPECT_EQ(run({"--json", "time", "sync"}), 0) << env.errText;
    const nlohmann::json r = json()[0];
    EXPECT_EQ(r["aligned"], true);
    EXPECT_LT(std::abs(offsetMs('G')), 15);
    // The command arrived right after a second boundary of the PC clock.
    ASSERT_EQ(setTimeArrivals.size(), 1u);
    EXPECT_LT(setTimeArrivals[0] % 1000000, 15000);
    // What it reports is what the recorder's clock is.
    EXPECT_NEAR(r["offset_ms"].get<double>(), static_cast<double>(offsetMs('G')), 10);
    // The time sent is the PC's second right after the boundary.
    const std::vector<sim::Call> set = managementCalls(kSubSetTime);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(cdbBytes(set[0], 0, 4), (std::vector<uint8_t>{0xFA, 0x55, 0x66, 0xFE, 0x03}));
    EXPECT_EQ(r["time"].get<std::string>().size(), 19u);
}

TEST_F(Clock, AnAlignedSetTimeHeldUpIsSentAgainAtTheNextBoundary)
{
    machine("recorder=E,recorder=G");
    holdFirstSetTimeMs = 30;
    EXPECT_EQ(run({"--all", "--json", "time", "sync"}), 0) << env.errText;
    // E's answer came 30 ms late, G's command waited behind it but was not itself
    // held up: E alone is sent again, a second later.
    ASSERT_EQ(setTimeArrivals.size(), 3u);
    EXPECT_EQ((std::vector<char>{'E', 'G', 'E'}),
              [&] {
                  std::vector<char> letters;
                  for (const sim::Call& c : managementCalls(kSubSetTime))
                      letters.push_back(c.letter);
                  return letters;
              }());
    EXPECT_NEAR(static_cast<double>(setTimeArrivals[2] - setTimeArrivals[0]), 1e6, 20000);
    EXPECT_LT(setTimeArrivals[2] % 1000000, 15000);
    EXPECT_LT(std::abs(offsetMs('E')), 15);
}

TEST_F(Clock, UnalignedSyncLeavesTheRecorderBehindByThePartOfTheSecondPassed)
{
    machine("clock=2500");
    // Start in the second half of a second, so that the loss is plain.
    pcclock::waitUntil((pcclock::nowMicros() / 1000000 + 1) * 1000000 + 600000);
    EXPECT_EQ(run({"--json", "time", "sync", "--no-align"}), 0) << env.errText;
    const nlohmann::json r = json()[0];
    EXPECT_EQ(r["aligned"], false);
    ASSERT_EQ(setTimeArrivals.size(), 1u);
    // The recorder lost the part of the second that had passed when the command arrived.
    const int64_t passedMs = (setTimeArrivals[0] % 1000000) / 1000;
    EXPECT_NEAR(static_cast<double>(offsetMs('G')), static_cast<double>(-passedMs), 2);
    EXPECT_LT(offsetMs('G'), -100);  // with the wait above, unless the machine stalled for 0.5 s
    EXPECT_NEAR(r["offset_ms"].get<double>(), static_cast<double>(offsetMs('G')), 10);
}

TEST_F(Clock, SyncOfAllLogsInEveryRecorderFirstThenSetsThemAtOneBoundary)
{
    machine("recorder=E:1:000000:-5000,recorder=F:2:000000:800,recorder=G::WRONG1:300,recorder=H:1:000000:-90");
    EXPECT_EQ(run({"--all", "--json", "time", "sync"}), 1) << env.errText;
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 4u);
    EXPECT_EQ(doc[2]["code"], 1);  // G refused the password and was left as it was
    EXPECT_EQ(offsetMs('G'), 300);
    for (char letter : {'E', 'F', 'H'})
        EXPECT_LT(std::abs(offsetMs(letter)), 15) << letter;
    // Every log-in before the first set-time; then one set-time for each
    // recorder logged in (more if the system held one up and it went again).
    std::vector<int> order;
    for (const auto& m : management())
        if (m.second == kSubLogin || m.second == kSubSetTime)
            order.push_back(m.second);
    ASSERT_GE(order.size(), 7u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 7),
              (std::vector<int>{kSubLogin, kSubLogin, kSubLogin, kSubLogin, kSubSetTime, kSubSetTime, kSubSetTime}));
    EXPECT_EQ(std::count(order.begin(), order.end(), kSubLogin), 4);
    for (size_t i : {0u, 1u, 3u}) {
        EXPECT_EQ(doc[i]["code"], 0);
        EXPECT_NEAR(doc[i]["offset_ms"].get<double>(), 0, 15);
    }
}

TEST_F(Clock, ARecorderWithoutAValidTimeIsReported)
{
    // The first get-time answers "not valid" (status 0 or 2).
    machine("status=08:00");
    EXPECT_EQ(run({"time", "check"}), 4);
    EXPECT_NE(env.errText.find("gave no valid time (status 0)"), std::string::npos) << env.errText;
    stack.scriptStatus(0x08, 0x02);
    EXPECT_EQ(run({"time", "check"}), 4);
    EXPECT_NE(env.errText.find("gave no valid time (status 2)"), std::string::npos) << env.errText;
}

}  // namespace
}  // namespace clitest
