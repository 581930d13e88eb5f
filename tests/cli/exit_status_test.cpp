// Exit statuses, the one-sentence failures, where the password may come from,
// and --verbose.
#include "cli_fixture.h"

#include "platform_backend.h"

namespace clitest {
namespace {

class Statuses : public CliTest {};

TEST_F(Statuses, UsageErrorsSendNothing)
{
    machine("password=ABC123");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"time"},
        {"time", "set", "2026-02-30T10:00:00"},
        {"time", "set", "2026-12-10 10:00"},
        {"--drive", "G:", "--all", "list"},
        {"--drive", "GG", "list"},
        {"id", "set", "京京京京京京京"},          // 14 GBK bytes
        {"id", "set", "A\xF0\x9F\x98\x80"},    // a character GBK lacks
        {"id", "set", "\xFF"},                 // not UTF-8
    };
    for (const std::vector<std::string>& args : cases) {
        stack.clearLog();
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        EXPECT_EQ(run(args), 2) << line;
        EXPECT_TRUE(stack.log().empty()) << line;
        EXPECT_EQ(env.outText, "") << line;
        // One sentence, on standard error.
        EXPECT_EQ(env.errText.rfind("korvane-cli: ", 0), 0u) << line << env.errText;
        EXPECT_EQ(std::count(env.errText.begin(), env.errText.end(), '\n'), 1) << line << env.errText;
    }
}

TEST_F(Statuses, ThePasswordIsNeverTakenFromTheArguments)
{
    machine("password=ABC123");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--password", "abc123", "status"},
          std::vector<std::string>{"--password=abc123", "status"},
          std::vector<std::string>{"status", "abc123"},
          std::vector<std::string>{"-p", "abc123", "status"}}) {
        stack.clearLog();
        EXPECT_EQ(run(args), 2) << args[0];
        EXPECT_TRUE(stack.log().empty());
    }
    // With no password anywhere there is nothing to send either.
    EXPECT_EQ(run({"status"}), 2);
    EXPECT_TRUE(stack.log().empty());
    EXPECT_NE(env.errText.find("KORVANE_PASSWORD"), std::string::npos);
}

TEST_F(Statuses, PasswordSources)
{
    machine("password=ABC123");
    struct Case {
        const char* name;
        const char* variable;  // null: unset
        std::vector<std::string> stdinLines;
        bool passwordStdin;
        std::vector<std::string> terminal;
        int expected;
    } cases[] = {
        {"variable", "abc123", {"wrong1"}, true, {}, 0},  // the variable wins
        {"stdin first line", nullptr, {"abc123", "rest"}, true, {}, 0},
        {"stdin ignored without the flag", nullptr, {"abc123"}, false, {}, 2},
        {"prompt", nullptr, {}, false, {"abc123"}, 0},
        {"empty stdin", nullptr, {}, true, {"abc123"}, 2},
        {"too long", "abc1234", {}, false, {}, 2},
    };
    for (const Case& c : cases) {
        env = ScriptedEnvironment();
        if (c.variable)
            env.variables["KORVANE_PASSWORD"] = c.variable;
        env.stdinLines.assign(c.stdinLines.begin(), c.stdinLines.end());
        env.hasTerminal = !c.terminal.empty();
        env.terminalLines.assign(c.terminal.begin(), c.terminal.end());
        std::vector<std::string> args;
        if (c.passwordStdin)
            args.push_back("--password-stdin");
        args.push_back("id");
        args.push_back("get");
        EXPECT_EQ(run(args), c.expected) << c.name << ": " << env.errText;
    }
}

TEST_F(Statuses, ARefusedLoginSendsNothingElse)
{
    machine("password=ABC123");
    env.variables["KORVANE_PASSWORD"] = "abc124";
    for (const char* command : {"status", "udisk", "id"}) {
        stack.clearLog();
        std::vector<std::string> args = {command};
        if (command == std::string("id"))
            args = {"id", "set", "X"};
        EXPECT_EQ(run(args), 1) << command;
        EXPECT_EQ((std::vector<std::pair<char, int>>{{'G', kSubLogin}}), management()) << command;
        EXPECT_EQ(env.errText, "korvane-cli: G: the recorder refused the password; check it and try again.\n");
    }
}

TEST_F(Statuses, RefusedSetsAreStatusOne)
{
    machine("password=ABC123,status=03:00,status=02:00");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    EXPECT_EQ(run({"time", "set", "2030-01-01T00:00:00"}), 1);
    EXPECT_NE(env.errText.find("refused the time 2030-01-01 00:00:00"), std::string::npos) << env.errText;
    EXPECT_EQ(run({"id", "set", "A1"}), 1);
    EXPECT_NE(env.errText.find("refused the police number"), std::string::npos) << env.errText;
}

TEST_F(Statuses, NoRecorderIsStatusThree)
{
    machine("none");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    EXPECT_EQ(run({"--json", "status"}), 3);
    const nlohmann::json doc = json();
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_TRUE(doc[0]["where"].is_null());
    EXPECT_EQ(doc[0]["code"], 3);
    EXPECT_EQ(doc[0]["ok"], false);
    EXPECT_EQ(run({"--drive", "D:", "list"}), 3);  // an ordinary disk
    EXPECT_EQ(env.errText.rfind("korvane-cli: D: no recorder answers there", 0), 0u) << env.errText;
}

TEST_F(Statuses, FailedTransfersAreStatusFourWithThePlatformError)
{
    machine("password=ABC123,pull-after-discovery");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    EXPECT_EQ(run({"time", "get"}), 4);
    EXPECT_EQ(env.errText,
              "korvane-cli: G: logging in failed because the recorder is no longer there (error 1167: device not "
              "connected); plug it in again and retry.\n");
}

// Denies opening every volume, as Windows does for a user without the right.
class DenyingBackend : public plat::Backend {
public:
    explicit DenyingBackend(plat::Backend* inner) : m_inner(inner) {}
    HANDLE createFile(const char*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) override
    {
        m_denied = true;
        return INVALID_HANDLE_VALUE;
    }
    BOOL deviceIoControl(HANDLE d, DWORD c, void* i, DWORD is, void* o, DWORD os, DWORD* r, void* ov) override
    {
        return m_inner->deviceIoControl(d, c, i, is, o, os, r, ov);
    }
    BOOL closeHandle(HANDLE h) override { return m_inner->closeHandle(h); }
    DWORD lastError() override { return m_denied ? 5 : m_inner->lastError(); }

private:
    plat::Backend* m_inner;
    bool m_denied = false;
};

TEST_F(Statuses, AccessDeniedIsStatusFive)
{
    machine("password=ABC123");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    DenyingBackend deny(&stack);
    plat::Backend* previous = plat::setBackend(&deny);
    EXPECT_EQ(run({"--json", "list"}), 5);
    plat::setBackend(previous);
    EXPECT_NE(json()[0]["error"].get<std::string>().find("administrator"), std::string::npos) << env.outText;
}

TEST_F(Statuses, AccessDeniedWhileSendingIsStatusFive)
{
    machine("password=ABC123");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    // Discovery: INQUIRY and probe of D (a disk), then of G; the fifth request is the login.
    stack.failIoctl(5, 5);
    EXPECT_EQ(run({"udisk"}), 5);
    EXPECT_EQ(env.errText,
              "korvane-cli: G: logging in was denied (error 5: access denied): vendor commands need administrator "
              "rights; run korvane-cli as administrator.\n");
    EXPECT_FALSE(stack.recorder('G')->uDiskMode);
}

TEST_F(Statuses, VerboseTracesEveryRequestWithStatusAndSense)
{
    machine("password=ABC123");
    env.variables["KORVANE_PASSWORD"] = "abc123";
    EXPECT_EQ(run({"--verbose", "udisk"}), 0);
    const std::string& e = env.errText;
    // The disk at D answers the probe with CHECK CONDITION, ILLEGAL REQUEST.
    EXPECT_NE(e.find("D: cdb fa556601000000000000000000000000 in 16 -> status 02 sense 70 00 05 00 00 00 00 0a 00 00 "
                     "00 00 20 00 00 00 00 00 delivered 0 failed\n"),
              std::string::npos)
        << e;
    EXPECT_NE(e.find("G: cdb fa556601000000000000000000000000 in 16 -> status 00 sense - delivered 16 ok\n"),
              std::string::npos)
        << e;
    // The password is not written out.
    EXPECT_NE(e.find("G: cdb fa5566fe07************0000000000 in 1 -> status 00 sense - delivered 1 ok\n"),
              std::string::npos)
        << e;
    EXPECT_EQ(e.find("ABC123"), std::string::npos);
    EXPECT_NE(e.find("G: cdb fa5566fe040000000000000000000000 in 1 -> status 00"), std::string::npos) << e;
    EXPECT_EQ(env.outText, "G:  switched to USB-disk mode\n");
}

}  // namespace
}  // namespace clitest
