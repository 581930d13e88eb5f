// The login dialog: what it shows, what it sends, what it says.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

TEST(Login, OpensWithTheLoginButtonFocusedAndAnEmptyField) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    EXPECT_EQ(narrow(windowText(login)), "korvane");
    EXPECT_EQ(narrow(controlText(login, IDC_STATIC_PASSWORD)), "请输入密码");
    EXPECT_EQ(narrow(controlText(login, IDC_BTN_LOGIN)), "确定");
    EXPECT_EQ(controlText(login, IDC_EDIT_PASSWORD), L"");
    EXPECT_EQ(focusedControlId(login), IDC_BTN_LOGIN);
    EXPECT_TRUE(app.log().management().empty()) << "nothing is sent before the button is pressed";
}

TEST(Login, PasswordFieldTakesNoSeventhCharacterTypedOrPasted) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    HWND edit = GetDlgItem(login, IDC_EDIT_PASSWORD);
    typeText(edit, L"abcdefg");
    EXPECT_EQ(narrow(windowText(edit)), "abcdef");
    setText(edit, L"");
    ASSERT_TRUE(pasteText(edit, L"12345678"));
    EXPECT_EQ(narrow(windowText(edit)), "123456");
}

struct LoginCase {
    const char* name;
    const char* scenario;
    const char* typed;
    const char* message;
    IconKind icon;
    // The password bytes of the login command, or nullptr when none may be sent.
    const char* wire;
    bool wireCompletes;
};

void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }

class LoginFlow : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginFlow, ShowsItsMessageAndSendsTheTypedPassword) {
    const LoginCase& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim(c.scenario));
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    typeText(GetDlgItem(login, IDC_EDIT_PASSWORD), widen(c.typed));
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, c.message, c.icon));

    const bool success = std::string(c.message) == "登陆设备成功";
    if (success) {
        EXPECT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
    } else {
        EXPECT_TRUE(app.waitScreen(Screen::Login)) << app.windows();
        EXPECT_EQ(narrow(controlText(login, IDC_EDIT_PASSWORD)), c.typed)
            << "the typed text stays, as typed";
    }

    const auto commands = app.commandsSince(0);
    if (!c.wire) {
        EXPECT_TRUE(commands.empty()) << describe(commands);
    } else {
        ASSERT_EQ(commands.size(), 1u) << describe(commands);
        EXPECT_EQ(commands[0].subOperation, 0x07);
        EXPECT_EQ(hex(commands[0].arguments), hex(passwordArguments(std::string(c.wire, 6))));
        EXPECT_EQ(commands[0].completed, c.wireCompletes);
    }
    // The handler gives the recorder's volume back, also while the menu runs.
    EXPECT_TRUE(roundTrip(login));
    EXPECT_EQ(app.log().openHandles(), "");
}

const LoginCase kLoginCases[] = {
    {"NoRecorder", "none", "000000", "登陆设备失败", IconKind::Warning, nullptr, false},
    {"FactoryPassword", "", "000000", "登陆设备成功", IconKind::None, "000000", true},
    {"WrongPassword", "", "123456", "登陆密码错误", IconKind::Warning, "123456", true},
    {"LowerCaseGoesUpperCase", "password=ABC123", "abc123", "登陆设备成功", IconKind::None,
     "ABC123", true},
    {"OnlyLettersAToZChange", "password=AZ`{09", "az`{09", "登陆设备成功", IconKind::None,
     "AZ`{09", true},
    {"ShortPasswordIsZeroFilled", "", "ab", "登陆密码错误", IconKind::Warning,
     "AB\0\0\0\0", true},
    {"EmptyPasswordSendsSixZeros", "", "", "登陆密码错误", IconKind::Warning,
     "\0\0\0\0\0\0", true},
    // The recorder reads GBK, whatever the PC's code page; letters a to z are
    // upper-cased after the conversion.
    {"ChinesePasswordGoesAsGbk", "", "京a12", "登陆密码错误", IconKind::Warning,
     "\xBE\xA9\x41\x31\x32\0", true},
    {"RecorderPulledAfterDiscovery", "pull-after-discovery", "000000", "登陆密码错误",
     IconKind::Warning, "000000", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, LoginFlow, testing::ValuesIn(kLoginCases),
                         [](const testing::TestParamInfo<LoginCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Login, FailedLoginCanBeRetriedWithTheRightPassword) {
    Korvane app;
    ASSERT_TRUE(app.startSim("password=RIGHT1"));
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    HWND edit = GetDlgItem(login, IDC_EDIT_PASSWORD);
    typeText(edit, L"wrong1");
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆密码错误", IconKind::Warning));
    setText(edit, L"");
    typeText(edit, L"right1");
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆设备成功", IconKind::None));
    EXPECT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
}

// The build on the Windows storage stack finds no recorder under wine.
TEST(LoginWithoutSimulation, FindsNoRecorderAndSaysSo) {
    Korvane app;
    ASSERT_TRUE(app.startReal());
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    typeText(GetDlgItem(login, IDC_EDIT_PASSWORD), L"000000");
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆设备失败", IconKind::Warning));
    EXPECT_TRUE(app.waitScreen(Screen::Login)) << app.windows();
    clickButton(login, IDC_BTN_LOGIN_EXIT);
    DWORD code = 0;
    EXPECT_TRUE(app.waitForExit(&code)) << app.windows();
}

}  // namespace
}  // namespace e2e
