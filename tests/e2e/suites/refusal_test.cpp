// Each dialog flow when the recorder refuses its command with CHECK CONDITION
// or answers it short: the flow's failure message, and what reached the recorder.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

enum class Flow { Login, TimeSync, ChangePassword, PoliceNumber };

struct RefusalCase {
    const char* name;
    Flow flow;
    const char* scenario;
    const char* message;
    // The management commands sent by the flow, in order; the last is the one
    // refused or cut short (with its resend before it after UNIT ATTENTION),
    // answered with this SCSI status and byte count.
    std::vector<int> sent;
    int lastStatus;
    int lastDelivered;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RefusedCommand : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedCommand, ShowsTheFlowsFailureMessage) {
    const RefusalCase& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim(c.scenario));
    HWND dialog = nullptr;
    Screen stays = Screen::Login;
    size_t mark = 0;
    switch (c.flow) {
    case Flow::Login:
        dialog = app.waitScreen(Screen::Login);
        ASSERT_TRUE(dialog) << app.windows();
        typeText(GetDlgItem(dialog, IDC_EDIT_PASSWORD), L"000000");
        clickButton(dialog, IDC_BTN_LOGIN);
        break;
    case Flow::TimeSync:
        dialog = app.openMenu();
        ASSERT_TRUE(dialog) << app.windows();
        stays = Screen::Menu;
        mark = app.mark();
        clickButton(dialog, IDC_BTN_TIMESYNC);
        break;
    case Flow::ChangePassword:
        ASSERT_TRUE(app.openMenu()) << app.windows();
        dialog = app.openFromMenu(Screen::ChangePassword);
        ASSERT_TRUE(dialog) << app.windows();
        stays = Screen::ChangePassword;
        typeText(GetDlgItem(dialog, IDC_EDIT_OLDPWD), L"000000");
        typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD), L"111111");
        typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD_AGAIN), L"111111");
        mark = app.mark();
        clickButton(dialog, IDC_BTN_PWD_CONFIRM);
        break;
    case Flow::PoliceNumber:
        ASSERT_TRUE(app.openMenu()) << app.windows();
        dialog = app.openFromMenu(Screen::PoliceNumber);
        ASSERT_TRUE(dialog) << app.windows();
        stays = Screen::PoliceNumber;
        typeText(GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER), L"A1234567890BC");
        mark = app.mark();
        clickButton(dialog, IDC_BTN_NUMBER_SET);
        break;
    }
    ASSERT_TRUE(showsMessage(app, c.message, IconKind::Warning));
    EXPECT_TRUE(app.waitScreen(stays)) << "a failure leaves the dialog open; " << app.windows();

    const auto commands = app.commandsSince(mark);
    ASSERT_EQ(commands.size(), c.sent.size()) << describe(commands);
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(commands[i].subOperation, c.sent[i]) << describe(commands);
        EXPECT_TRUE(commands[i].completed) << "the call itself succeeds";
        const bool last = i + 1 == commands.size();
        // The faulty command (and its resend) came back with the fault, the others GOOD.
        EXPECT_EQ(commands[i].scsiStatus, c.sent[i] == c.sent.back() ? c.lastStatus : 0);
        if (last) {
            EXPECT_EQ(commands[i].delivered, c.lastDelivered);
        }
    }
    // The bytes of the refused command as the flow sends them.
    const ManagementCommand& last = commands.back();
    switch (c.flow) {
    case Flow::Login:
        EXPECT_EQ(hex(last.arguments), hex(passwordArguments("000000")));
        break;
    case Flow::ChangePassword:
        EXPECT_EQ(hex(last.arguments), hex(passwordArguments("111111")));
        break;
    case Flow::PoliceNumber:
        EXPECT_EQ(hex(commands[0].arguments), hex(std::string("A12345") + '\0'));
        if (commands.size() == 2) {
            EXPECT_EQ(hex(commands[1].arguments), hex(std::string("67890BC")));
        }
        break;
    case Flow::TimeSync:
        // The PC clock: century and year first.
        ASSERT_EQ(last.arguments.size(), 7u);
        EXPECT_EQ((unsigned char)last.arguments[0], 20) << hex(last.arguments);
        EXPECT_LE((unsigned char)last.arguments[2], 12) << hex(last.arguments);
        break;
    }
    EXPECT_EQ(app.log().openHandles(), "");
}

const RefusalCase kRefusalCases[] = {
    {"LoginRefused", Flow::Login, "check=07", "登陆密码错误", {0x07}, 2, 0},
    {"LoginShort", Flow::Login, "short=07", "登陆密码错误", {0x07}, 0, 0},
    // The one resend after UNIT ATTENTION, then the failure.
    {"LoginUnitAttentionEveryTime", Flow::Login, "unit-attention-always=07", "登陆密码错误",
     {0x07, 0x07}, 2, 0},
    {"TimeSyncRefused", Flow::TimeSync, "check=03", "同步时间失败", {0x03}, 2, 0},
    {"TimeSyncShort", Flow::TimeSync, "short=03", "同步时间失败", {0x03}, 0, 0},
    {"ChangePasswordRefused", Flow::ChangePassword, "check=01", "设置新密码失败，请检查设备连接",
     {0x07, 0x01}, 2, 0},
    {"ChangePasswordShort", Flow::ChangePassword, "short=01", "设置新密码失败，请检查设备连接",
     {0x07, 0x01}, 0, 0},
    {"PoliceNumberFirstPartRefused", Flow::PoliceNumber, "check=02", "设置警号失败", {0x02}, 2, 0},
    {"PoliceNumberSecondPartShort", Flow::PoliceNumber, "short=09", "设置警号失败", {0x02, 0x09},
     0, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, RefusedCommand, testing::ValuesIn(kRefusalCases),
                         [](const testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

// The usual case on a real PC: the first request after plugging in gets UNIT
// ATTENTION. Discovery gets over it and the login goes through.
TEST(RefusedCommand, UnitAttentionAfterPluggingInIsNoFailure) {
    for (const char* scenario : {"unit-attention=any", "unit-attention=probe", "unit-attention=07"}) {
        SCOPED_TRACE(scenario);
        Korvane app;
        ASSERT_TRUE(app.startSim(scenario));
        HWND login = app.waitScreen(Screen::Login);
        ASSERT_TRUE(login) << app.windows();
        typeText(GetDlgItem(login, IDC_EDIT_PASSWORD), L"000000");
        clickButton(login, IDC_BTN_LOGIN);
        ASSERT_TRUE(showsMessage(app, "登陆设备成功", IconKind::None));
        EXPECT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
        const auto commands = app.commandsSince(0);
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back().scsiStatus, 0) << describe(commands);
        EXPECT_EQ(app.log().openHandles(), "");
    }
}

}  // namespace
}  // namespace e2e
