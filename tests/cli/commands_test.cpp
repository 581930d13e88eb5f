// Every command on one recorder and on several: what goes out, what is
// printed, the JSON document and the exit status.
#include "cli_fixture.h"

#include <algorithm>

namespace clitest {
namespace {

using Sub = std::vector<std::pair<char, int>>;

class Commands : public CliTest {
protected:
    void SetUp() override { env.variables["KORVANE_PASSWORD"] = "abc123"; }
};

TEST_F(Commands, ListFindsEveryRecorderWithoutLoggingIn)
{
    machine("recorder=E:2,recorder=G,recorder=K");
    EXPECT_EQ(run({"--json", "list"}), 0);
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 3u);
    const std::string where[] = {"E:", "G:", "K:"};
    const int variant[] = {2, 1, 1};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(doc[i]["where"], where[i]);
        EXPECT_EQ(doc[i]["ok"], true);
        EXPECT_EQ(doc[i]["code"], 0);
        EXPECT_TRUE(doc[i]["error"].is_null());
        EXPECT_EQ(doc[i]["variant"], variant[i]);
    }
    EXPECT_TRUE(management().empty());

    EXPECT_EQ(run({"list"}), 0);
    EXPECT_EQ(env.outText, "E:  recorder, variant 2\nG:  recorder, variant 1\nK:  recorder, variant 1\n");
    EXPECT_EQ(stack.openHandleCount(), 0);
}

TEST_F(Commands, WithoutSelectorTheFirstRecorderInDiscoveryOrder)
{
    machine("password=ABC123,recorder=H,recorder=F");
    EXPECT_EQ(run({"time", "get"}), 0);
    EXPECT_EQ((Sub{{'F', kSubLogin}, {'F', kSubGetTime}}), management());
    // Discovery stopped at F, as the library's Open does.
    for (const sim::Call& c : stack.callsOf(sim::Call::Kind::CreateFile))
        EXPECT_LE(c.path, std::string("\\\\.\\F:"));
}

TEST_F(Commands, DriveAndDeviceSelectOneRecorder)
{
    machine("password=ABC123,recorder=F,recorder=H");
    for (const char* selector : {"--drive", "--device"}) {
        stack.clearLog();
        const std::string value = selector == std::string("--drive") ? "h:" : "\\\\.\\H:";
        EXPECT_EQ(run({selector, value, "udisk"}), 0) << selector << env.errText;
        EXPECT_EQ((Sub{{'H', kSubLogin}, {'H', kSubIntoUDisk}}), management());
        ASSERT_EQ(stack.callsOf(sim::Call::Kind::CreateFile).size(), 1u);
        EXPECT_EQ(env.outText, "H:  switched to USB-disk mode\n");
    }
    EXPECT_TRUE(stack.recorder('H')->uDiskMode);
    EXPECT_FALSE(stack.recorder('F')->uDiskMode);
}

TEST_F(Commands, LoginSendsTheUpperCasedPasswordZeroFilled)
{
    machine("password=AB1000");
    env.variables["KORVANE_PASSWORD"] = "ab1";
    EXPECT_EQ(run({"time", "get"}), 1);  // "AB1\0\0\0" is not AB1000
    const std::vector<sim::Call> login = managementCalls(kSubLogin);
    ASSERT_EQ(login.size(), 1u);
    EXPECT_EQ(cdbBytes(login[0], 0, 10), (std::vector<uint8_t>{0xFA, 0x55, 0x66, 0xFE, 0x07, 'A', 'B', '1', 0, 0, 0}));
    EXPECT_EQ(login[0].request.dataTransferLength, 1u);
}

TEST_F(Commands, TimeGetSetAndTheBytesOfSetTime)
{
    machine("password=ABC123");
    EXPECT_EQ(run({"--json", "time", "set", "2031-02-28T23:59:58"}), 0) << env.errText;
    EXPECT_EQ(json()[0]["time"], "2031-02-28T23:59:58");
    const std::vector<sim::Call> set = managementCalls(kSubSetTime);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(cdbBytes(set[0], 4, 11), (std::vector<uint8_t>{0x03, 20, 31, 2, 28, 23, 59, 58}));

    EXPECT_EQ(run({"--json", "time", "get"}), 0);
    const std::string t = json()[0]["time"];
    EXPECT_TRUE(t == "2031-02-28T23:59:58" || t == "2031-02-28T23:59:59" || t == "2031-03-01T00:00:00") << t;
    EXPECT_EQ(run({"time", "get"}), 0);
    EXPECT_EQ(env.outText.substr(0, 10), "G:  2031-0") << env.outText;
}

TEST_F(Commands, PoliceNumberWrittenAsGbkAndReadBack)
{
    machine("password=ABC123");
    EXPECT_EQ(run({"--json", "id", "set", "京A12345"}), 0) << env.errText;
    const std::vector<sim::Call> first = managementCalls(kSubSetIdFirst);
    const std::vector<sim::Call> second = managementCalls(kSubSetIdSecond);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(cdbBytes(first[0], 5, 10), (std::vector<uint8_t>{0xBE, 0xA9, 'A', '1', '2', '3'}));
    EXPECT_EQ(cdbBytes(second[0], 5, 11), (std::vector<uint8_t>{'4', '5', 0, 0, 0, 0, 0}));
    EXPECT_EQ(json()[0]["id"], "京A12345");
    EXPECT_EQ(json()[0]["id_hex"], "bea9413132333435");

    EXPECT_EQ(run({"--json", "id", "get"}), 0);
    EXPECT_EQ(json()[0]["id"], "京A12345");
    EXPECT_EQ(json()[0]["id_hex"], "bea9413132333435");
    EXPECT_EQ(run({"id", "get"}), 0);
    EXPECT_EQ(env.outText, "G:  police number 京A12345\n");
}

TEST_F(Commands, PoliceNumberThatIsNotGbkTextIsShownInHex)
{
    machine("password=ABC123");
    const uint8_t raw[13] = {0xFF, 0xFF, '7'};
    std::copy(raw, raw + 13, stack.recorder('G')->policeNumber.begin());
    EXPECT_EQ(run({"--json", "id", "get"}), 0);
    EXPECT_TRUE(json()[0]["id"].is_null());
    EXPECT_EQ(json()[0]["id_hex"], "ffff37");
}

TEST_F(Commands, PasswordChangeFromStandardInput)
{
    machine("password=OLD123");
    env.variables.erase("KORVANE_PASSWORD");
    env.stdinLines = {"old123", "new456", "new456"};
    EXPECT_EQ(run({"--password-stdin", "password", "change"}), 0) << env.errText;
    EXPECT_EQ((Sub{{'G', kSubLogin}, {'G', kSubSetPassword}}), management());
    const std::vector<sim::Call> set = managementCalls(kSubSetPassword);
    EXPECT_EQ(cdbBytes(set[0], 5, 10), (std::vector<uint8_t>{'N', 'E', 'W', '4', '5', '6'}));
    EXPECT_EQ(std::string(stack.recorder('G')->password.begin(), stack.recorder('G')->password.end()), "NEW456");
}

TEST_F(Commands, PasswordChangeWithDifferentNewPasswordsSendsNothing)
{
    machine("password=OLD123");
    env.variables.erase("KORVANE_PASSWORD");
    env.hasTerminal = true;
    env.terminalLines = {"old123", "new456", "new457"};
    EXPECT_EQ(run({"password", "change"}), 2);
    EXPECT_EQ(env.prompts, (std::vector<std::string>{"password: ", "new password: ", "new password again: "}));
    EXPECT_TRUE(stack.log().empty());
    EXPECT_NE(env.errText.find("differ"), std::string::npos);
}

TEST_F(Commands, StatusReportsClockOffsetAndPoliceNumber)
{
    machine("password=ABC123,clock=-400");
    std::copy_n("A7", 2, stack.recorder('G')->policeNumber.begin());
    EXPECT_EQ(run({"--json", "status"}), 0) << env.errText;
    const nlohmann::json r = json()[0];
    EXPECT_NEAR(r["offset_ms"].get<int>(), -400, 10);
    EXPECT_EQ(r["id"], "A7");
    EXPECT_EQ(r["time"].get<std::string>().size(), 19u);
}

TEST_F(Commands, AllRunsOnEveryRecorderAndGoesOnPastFailures)
{
    // E refuses the password; G and K take the number.
    machine("password=ABC123,recorder=E::WRONG1,recorder=G,recorder=K");
    EXPECT_EQ(run({"--all", "--json", "id", "set", "X1"}), 1);
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc[0]["code"], 1);
    EXPECT_EQ(doc[1]["code"], 0);
    EXPECT_EQ(doc[2]["code"], 0);
    // A refused login sends nothing else to that recorder.
    EXPECT_EQ((Sub{{'E', kSubLogin}, {'G', kSubLogin}, {'K', kSubLogin}, {'G', kSubSetIdFirst},
                   {'G', kSubSetIdSecond}, {'K', kSubSetIdFirst}, {'K', kSubSetIdSecond}}),
              management());
    EXPECT_NE(env.errText.find("korvane-cli: E: the recorder refused the password"), std::string::npos) << env.errText;
    EXPECT_EQ(stack.openHandleCount(), 0);
}

TEST_F(Commands, AllReportsTheStatusOfTheFirstRecorderThatFailed)
{
    machine("password=ABC123,recorder=E,recorder=G::WRONG1,recorder=K");
    // Discovery sends INQUIRY and probe to D (a disk), E, G and K: eight
    // requests. The ninth, E's login, fails; G and K are still tried.
    stack.failIoctl(9, sim::kErrorIoDevice);
    EXPECT_EQ(run({"--all", "--json", "udisk"}), 4) << env.errText;
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 3u);
    EXPECT_EQ(doc[0]["code"], 4);
    EXPECT_EQ(doc[1]["code"], 1);
    EXPECT_EQ(doc[2]["code"], 0);
    EXPECT_NE(doc[0]["error"].get<std::string>().find("error 1117"), std::string::npos) << doc[0]["error"];
    EXPECT_TRUE(stack.recorder('K')->uDiskMode);
}

}  // namespace
}  // namespace clitest
