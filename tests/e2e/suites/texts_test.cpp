// What the dialogs show, on whatever code page the run has: every text of the
// templates as it stands there, read back as UTF-16.
#include "korvane_app.h"
#include "text.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace e2e {
namespace {

// The run's code page is the one it claims (KV_E2E_CODE_PAGE, set by the
// test): else a run "under code page 1252" proves nothing.
TEST(Texts, RunUnderTheCodePageOfTheRun) {
    const char* expected = std::getenv("KV_E2E_CODE_PAGE");
    std::printf("system code page of this run: %u\n", GetACP());
    if (!expected) GTEST_SKIP() << "KV_E2E_CODE_PAGE is not set";
    EXPECT_EQ(GetACP(), UINT(std::atoi(expected)));
}

struct ScreenTexts {
    Screen screen;
    // Buttons, labels and group boxes in template order (the banner and the
    // fields have no text; the clock label changes).
    std::vector<const char*> texts;
};

void PrintTo(const ScreenTexts& c, std::ostream* os) { *os << screenName(c.screen); }

class TextsOfDialog : public testing::TestWithParam<ScreenTexts> {};

TEST_P(TextsOfDialog, ShowTheTemplateTexts) {
    const ScreenTexts& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(c.screen);
    ASSERT_TRUE(dialog) << app.windows();
    EXPECT_EQ(narrow(windowText(dialog)), "korvane");
    std::vector<std::string> shown;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string cls = className(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (cls == "Edit" || GetDlgCtrlID(child) == IDC_STATIC_TIME) continue;
        if (cls == "Static" && (style & SS_TYPEMASK) == SS_BITMAP) continue;
        shown.push_back(narrow(windowText(child)));
    }
    EXPECT_EQ(shown, std::vector<std::string>(c.texts.begin(), c.texts.end())) << app.windows();
}

const ScreenTexts kScreenTexts[] = {
    {Screen::Login, {"确定", "退出", "请输入密码", "操作提示"}},
    {Screen::Menu, {"退出", "校时", "更改密码", "警号设置", "进入U盘", "返回", "系统当前时间"}},
    {Screen::ChangePassword,
     {"请输入旧密码", "请输入新密码", "再次输入新密码", "返回", "确认修改", "退出", "操作提示"}},
    {Screen::PoliceNumber, {"警号", "返回", "设置", "退出", "编号设置"}},
};

INSTANTIATE_TEST_SUITE_P(Screens, TextsOfDialog, testing::ValuesIn(kScreenTexts),
                         [](const testing::TestParamInfo<ScreenTexts>& info) {
                             std::string name = screenName(info.param.screen);
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

}  // namespace
}  // namespace e2e
