// The change-password dialog: its fields, its checks in order, what it sends.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <functional>

namespace e2e {
namespace {

const int kFields[] = {IDC_EDIT_OLDPWD, IDC_EDIT_NEWPWD, IDC_EDIT_NEWPWD_AGAIN};

TEST(ChangePassword, OpensWithThreeEmptySixCharacterFields) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(Screen::ChangePassword);
    ASSERT_TRUE(dialog) << app.windows();
    EXPECT_EQ(narrow(windowText(dialog)), "korvane");
    EXPECT_EQ(focusedControlId(dialog), IDC_EDIT_OLDPWD);
    for (int id : kFields) {
        HWND edit = GetDlgItem(dialog, id);
        EXPECT_EQ(windowText(edit), L"") << id;
        typeText(edit, L"abcdefg");
        EXPECT_EQ(narrow(windowText(edit)), "abcdef") << id;
    }
}

struct Sent {
    int subOperation;
    const char* password;  // six bytes
    bool completes;
};

struct ChangeCase {
    const char* name;
    const char* recorderPassword;  // scenario password, or "" for the factory one
    int failingCommand;            // the n-th command of the flow fails, 0 for none
    bool recorderGone;
    const char* oldPassword;
    const char* newPassword;
    const char* again;
    const char* message;
    std::vector<Sent> sent;
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class ChangeFlow : public testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeFlow, ChecksInOrderAndSendsTheNewPassword) {
    const ChangeCase& c = GetParam();
    std::string scenario;
    if (*c.recorderPassword) scenario = std::string("password=") + c.recorderPassword;
    if (c.failingCommand) scenario = failCommandAfterLogin(c.failingCommand);
    if (c.recorderGone) scenario = recorderGoneAfterLogin();
    Korvane app;
    ASSERT_TRUE(app.startSim(scenario));
    ASSERT_TRUE(app.openMenu(*c.recorderPassword ? widen(c.recorderPassword) : L"000000"))
        << app.windows();
    HWND dialog = app.openFromMenu(Screen::ChangePassword);
    ASSERT_TRUE(dialog) << app.windows();
    const char* typed[] = {c.oldPassword, c.newPassword, c.again};
    for (int i = 0; i < 3; ++i) typeText(GetDlgItem(dialog, kFields[i]), widen(typed[i]));
    const size_t mark = app.mark();

    clickButton(dialog, IDC_BTN_PWD_CONFIRM);
    const bool success = std::string(c.message) == "设置新密码成功";
    ASSERT_TRUE(showsMessage(app, c.message, success ? IconKind::None : IconKind::Warning));

    if (success) {
        EXPECT_TRUE(app.waitScreen(Screen::Menu)) << "success closes the dialog; " << app.windows();
    } else {
        EXPECT_TRUE(app.waitScreen(Screen::ChangePassword)) << app.windows();
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(narrow(controlText(dialog, kFields[i])), typed[i]) << "the typed texts stay";
        }
    }
    const auto commands = app.commandsSince(mark);
    ASSERT_EQ(commands.size(), c.sent.size()) << describe(commands);
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i].subOperation, c.sent[i].subOperation) << describe(commands);
        EXPECT_EQ(hex(commands[i].arguments),
                  hex(passwordArguments(std::string(c.sent[i].password, 6))))
            << describe(commands);
        EXPECT_EQ(commands[i].completed, c.sent[i].completes) << describe(commands);
    }
    EXPECT_EQ(app.log().openHandles(), "");
}

const ChangeCase kChangeCases[] = {
    {"NoRecorder", "", 0, true, "000000", "111111", "111111", "连接设备失败", {}},
    {"WrongOldPassword", "", 0, false, "123456", "111111", "111111", "校验旧密码失败",
     {{0x07, "123456", true}}},
    {"WrongOldPasswordBeatsMismatch", "", 0, false, "123456", "111111", "222222",
     "校验旧密码失败", {{0x07, "123456", true}}},
    {"NewEntriesDifferInCaseOnly", "", 0, false, "000000", "abcdef", "ABCDEF",
     "新密码输入不一致", {{0x07, "000000", true}}},
    {"Success", "", 0, false, "000000", "abc123", "abc123", "设置新密码成功",
     {{0x07, "000000", true}, {0x01, "ABC123", true}}},
    // A password that logs in passes as the old password too: both are upper-cased.
    {"LowerCaseOldPasswordPasses", "ABC123", 0, false, "abc123", "xyz789", "xyz789",
     "设置新密码成功", {{0x07, "ABC123", true}, {0x01, "XYZ789", true}}},
    {"EmptyOldPasswordSendsSixZeros", "", 0, false, "", "111111", "111111", "校验旧密码失败",
     {{0x07, "\0\0\0\0\0\0", true}}},
    {"EmptyNewPasswordSendsSixZeros", "", 0, false, "000000", "", "", "设置新密码成功",
     {{0x07, "000000", true}, {0x01, "\0\0\0\0\0\0", true}}},
    {"ShortNewPasswordIsZeroFilled", "", 0, false, "000000", "ab", "ab", "设置新密码成功",
     {{0x07, "000000", true}, {0x01, "AB\0\0\0\0", true}}},
    {"ChineseNewPasswordGoesAsGbk", "", 0, false, "000000", "京a", "京a", "设置新密码成功",
     {{0x07, "000000", true}, {0x01, "\xBE\xA9\x41\0\0\0", true}}},
    {"OldPasswordCheckTransferFails", "", 1, false, "000000", "111111", "111111",
     "校验旧密码失败", {{0x07, "000000", false}}},
    {"SetPasswordTransferFails", "", 2, false, "000000", "111111", "111111",
     "设置新密码失败，请检查设备连接", {{0x07, "000000", true}, {0x01, "111111", false}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChangeFlow, testing::ValuesIn(kChangeCases),
                         [](const testing::TestParamInfo<ChangeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ChangePassword, NewPasswordLogsInAndTheOldOneNoLonger) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(Screen::ChangePassword);
    ASSERT_TRUE(dialog) << app.windows();
    typeText(GetDlgItem(dialog, IDC_EDIT_OLDPWD), L"000000");
    typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD), L"new123");
    typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD_AGAIN), L"new123");
    clickButton(dialog, IDC_BTN_PWD_CONFIRM);
    ASSERT_TRUE(showsMessage(app, "设置新密码成功", IconKind::None));
    HWND menu = app.waitScreen(Screen::Menu);
    ASSERT_TRUE(menu) << app.windows();

    // The dialog opens again with empty fields.
    dialog = app.openFromMenu(Screen::ChangePassword);
    ASSERT_TRUE(dialog) << app.windows();
    for (int id : kFields) EXPECT_EQ(controlText(dialog, id), L"") << id;
    clickButton(dialog, IDC_BTN_PWD_BACK);
    menu = app.waitScreen(Screen::Menu);
    ASSERT_TRUE(menu) << app.windows();

    clickButton(menu, IDC_BTN_BACK);
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    HWND edit = GetDlgItem(login, IDC_EDIT_PASSWORD);
    setText(edit, L"");
    typeText(edit, L"000000");
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆密码错误", IconKind::Warning));
    EXPECT_TRUE(app.openMenu(L"new123")) << app.windows();
}

}  // namespace
}  // namespace e2e
