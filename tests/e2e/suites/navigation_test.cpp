// Moving between the dialogs: exit, back, Enter and Esc in each, and the menu and
// sub-dialogs shown again with empty fields.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace e2e {
namespace {

// Starts korvane-sim.exe and goes to `screen`; its window.
HWND reach(Korvane& app, Screen screen) {
    return app.startSim() ? app.openScreen(screen) : nullptr;
}

struct ExitCase {
    Screen screen;
    int exitButton;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << screenName(c.screen); }

class ExitButton : public testing::TestWithParam<ExitCase> {};

TEST_P(ExitButton, EndsTheWholeProgram) {
    Korvane app;
    HWND dialog = reach(app, GetParam().screen);
    ASSERT_TRUE(dialog) << app.windows();
    const size_t mark = app.mark();
    clickButton(dialog, GetParam().exitButton);
    DWORD code = 1;
    ASSERT_TRUE(app.waitForExit(&code)) << app.windows();
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(app.commandsSince(mark).empty());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, ExitButton,
                         testing::Values(ExitCase{Screen::Login, IDC_BTN_LOGIN_EXIT},
                                         ExitCase{Screen::Menu, IDC_BTN_MENU_EXIT},
                                         ExitCase{Screen::ChangePassword, IDC_BTN_PWD_EXIT},
                                         ExitCase{Screen::PoliceNumber, IDC_BTN_NUMBER_EXIT}),
                         [](const testing::TestParamInfo<ExitCase>& info) {
                             std::string name = screenName(info.param.screen);
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

struct StepCase {
    const char* name;
    Screen screen;
    // How the dialog is left: a button, or a key to the focused control (0 for none).
    int button;
    UINT key;
    // Where that leads; Login for the login dialog, or nothing for the end of the program.
    bool programEnds;
    Screen next;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class LeavingADialog : public testing::TestWithParam<StepCase> {};

TEST_P(LeavingADialog, GoesOneLevelBackWithoutSending) {
    const StepCase& c = GetParam();
    Korvane app;
    HWND dialog = reach(app, c.screen);
    ASSERT_TRUE(dialog) << app.windows();
    // Something typed in the fields must not be sent by any of these ways out.
    for (int id : {IDC_EDIT_OLDPWD, IDC_EDIT_NEWPWD, IDC_EDIT_NEWPWD_AGAIN, IDC_EDIT_POLICE_NUMBER}) {
        if (HWND edit = GetDlgItem(dialog, id)) typeText(edit, L"000000");
    }
    const size_t mark = app.mark();
    if (c.button) {
        clickButton(dialog, c.button);
    } else {
        pressKey(focusedWindow(dialog), c.key);
    }
    if (c.programEnds) {
        DWORD code = 1;
        ASSERT_TRUE(app.waitForExit(&code)) << app.windows();
        EXPECT_EQ(code, 0u);
    } else {
        EXPECT_TRUE(app.waitScreen(c.next)) << app.windows();
    }
    EXPECT_TRUE(app.commandsSince(mark).empty()) << describe(app.commandsSince(mark));
}

const StepCase kSteps[] = {
    {"LoginEsc", Screen::Login, 0, VK_ESCAPE, true, Screen::Login},
    {"MenuBack", Screen::Menu, IDC_BTN_BACK, 0, false, Screen::Login},
    {"MenuEsc", Screen::Menu, 0, VK_ESCAPE, false, Screen::Login},
    {"ChangePasswordBack", Screen::ChangePassword, IDC_BTN_PWD_BACK, 0, false, Screen::Menu},
    {"ChangePasswordEsc", Screen::ChangePassword, 0, VK_ESCAPE, false, Screen::Menu},
    {"ChangePasswordEnterInField", Screen::ChangePassword, 0, VK_RETURN, false, Screen::Menu},
    {"PoliceNumberBack", Screen::PoliceNumber, IDC_BTN_NUMBER_BACK, 0, false, Screen::Menu},
    {"PoliceNumberEsc", Screen::PoliceNumber, 0, VK_ESCAPE, false, Screen::Menu},
    {"PoliceNumberEnterInField", Screen::PoliceNumber, 0, VK_RETURN, false, Screen::Menu},
};

INSTANTIATE_TEST_SUITE_P(Ways, LeavingADialog, testing::ValuesIn(kSteps),
                         [](const testing::TestParamInfo<StepCase>& info) {
                             return std::string(info.param.name);
                         });

// Enter presses the focused push button. Under wine a button focused as the first
// tab stop or by a click is not made the default button, so the focus is first
// passed through the dialog manager, as Windows has already done.
struct EnterCase {
    const char* name;
    Screen screen;
    int focused;
    const char* message;  // the message box Enter leads to, or nullptr: the program ends
};

void PrintTo(const EnterCase& c, std::ostream* os) { *os << c.name; }

class EnterOnAButton : public testing::TestWithParam<EnterCase> {};

TEST_P(EnterOnAButton, PressesIt) {
    const EnterCase& c = GetParam();
    Korvane app;
    HWND dialog = reach(app, c.screen);
    ASSERT_TRUE(dialog) << app.windows();
    focusThroughDialogManager(dialog, c.focused);
    ASSERT_EQ(focusedControlId(dialog), c.focused);
    pressKey(GetDlgItem(dialog, c.focused), VK_RETURN);
    if (c.message) {
        EXPECT_TRUE(app.takeMessageBox().text == widen(c.message)) << app.windows();
    } else {
        DWORD code = 1;
        ASSERT_TRUE(app.waitForExit(&code)) << app.windows();
        EXPECT_EQ(code, 0u);
    }
}

const EnterCase kEnterCases[] = {
    {"LoginButton", Screen::Login, IDC_BTN_LOGIN, "登陆密码错误"},
    {"LoginExit", Screen::Login, IDC_BTN_LOGIN_EXIT, nullptr},
    {"MenuExitRightAfterOpening", Screen::Menu, IDC_BTN_MENU_EXIT, nullptr},
    {"MenuTimeSync", Screen::Menu, IDC_BTN_TIMESYNC, "同步时间成功"},
    {"ChangePasswordConfirm", Screen::ChangePassword, IDC_BTN_PWD_CONFIRM, "校验旧密码失败"},
    {"PoliceNumberSet", Screen::PoliceNumber, IDC_BTN_NUMBER_SET, "设置警号成功"},
};

INSTANTIATE_TEST_SUITE_P(Buttons, EnterOnAButton, testing::ValuesIn(kEnterCases),
                         [](const testing::TestParamInfo<EnterCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Navigation, EnterInThePasswordFieldLogsIn) {
    Korvane app;
    HWND login = reach(app, Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    HWND edit = GetDlgItem(login, IDC_EDIT_PASSWORD);
    typeText(edit, L"000000");
    focusThroughDialogManager(login, IDC_EDIT_PASSWORD);
    pressKey(edit, VK_RETURN);
    ASSERT_TRUE(showsMessage(app, "登陆设备成功", IconKind::None));
    EXPECT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
}

TEST(Navigation, MenuAndSubDialogsComeBackWithEmptyFieldsAcrossLogins) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    for (int login = 0; login < 2; ++login) {
        HWND menu = app.openMenu();
        ASSERT_TRUE(menu) << "login " << login << "; " << app.windows();
        for (int round = 0; round < 2; ++round) {
            HWND pwd = app.openFromMenu(Screen::ChangePassword);
            ASSERT_TRUE(pwd) << app.windows();
            for (int id : {IDC_EDIT_OLDPWD, IDC_EDIT_NEWPWD, IDC_EDIT_NEWPWD_AGAIN}) {
                EXPECT_EQ(controlText(pwd, id), L"") << "login " << login << " round " << round;
                typeText(GetDlgItem(pwd, id), L"abc");
            }
            clickButton(pwd, IDC_BTN_PWD_BACK);
            ASSERT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();

            HWND number = app.openFromMenu(Screen::PoliceNumber);
            ASSERT_TRUE(number) << app.windows();
            EXPECT_EQ(controlText(number, IDC_EDIT_POLICE_NUMBER), L"")
                << "login " << login << " round " << round;
            EXPECT_EQ(focusedControlId(number), IDC_EDIT_POLICE_NUMBER);
            typeText(GetDlgItem(number, IDC_EDIT_POLICE_NUMBER), L"abc");
            clickButton(number, IDC_BTN_NUMBER_BACK);
            ASSERT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
        }
        clickButton(menu, IDC_BTN_BACK);
        ASSERT_TRUE(app.waitScreen(Screen::Login)) << app.windows();
    }
}

}  // namespace
}  // namespace e2e
