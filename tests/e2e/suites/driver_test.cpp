// The driver checked against its own fixture dialog, so that a failure in the
// korvane suites points at korvane and not at the driver.
#include "../fixture/fixture_app.h"
#include "paths.h"
#include "program.h"
#include "text.h"
#include "ui.h"
#include "wait.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

class DriverSelfTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(program.start(besideDriver(L"e2e-fixture-app.exe"), {}, {}, &error)) << error;
        ASSERT_TRUE(waitUntil([&] { return (dialog = findDialogWith(pid(), IDC_FIXTURE_EDIT)); }))
            << describeWindows(pid());
    }
    DWORD pid() const { return program.processId(); }
    HWND messageBox() { return findMessageBox(pid(), {IDC_FIXTURE_EDIT}); }
    HWND waitMessageBox() {
        HWND box = nullptr;
        waitUntil([&] { return (box = messageBox()) != nullptr; });
        return box;
    }

    Program program;
    HWND dialog = nullptr;
};

TEST_F(DriverSelfTest, ReadsNarrowChineseTextsAndTheFocus) {
    EXPECT_EQ(narrow(controlText(dialog, IDC_FIXTURE_LABEL)), "静态");
    EXPECT_EQ(narrow(controlText(dialog, IDC_FIXTURE_WARN)), "警告");
    EXPECT_EQ(narrow(windowText(dialog)), "fixture");
    EXPECT_EQ(focusedControlId(dialog), IDC_FIXTURE_WARN);
    focusThroughDialogManager(dialog, IDC_FIXTURE_EDIT);
    EXPECT_EQ(focusedControlId(dialog), IDC_FIXTURE_EDIT);
}

TEST_F(DriverSelfTest, TypedAndPastedTextStopsAtTheLimit) {
    HWND edit = GetDlgItem(dialog, IDC_FIXTURE_EDIT);
    typeText(edit, L"abcdefgh");
    EXPECT_EQ(narrow(windowText(edit)), "abcdef");
    setText(edit, L"");
    ASSERT_TRUE(pasteText(edit, L"12345678"));
    EXPECT_EQ(narrow(windowText(edit)), "123456");
    setText(edit, L"长文本超过六个字符");
    EXPECT_EQ(narrow(windowText(edit)), "长文本超过六个字符") << "WM_SETTEXT is not limited";
}

TEST_F(DriverSelfTest, ReadsMessageBoxesAndTellsTheirIcons) {
    typeText(GetDlgItem(dialog, IDC_FIXTURE_EDIT), L"ab");
    clickButton(dialog, IDC_FIXTURE_WARN);
    HWND box = waitMessageBox();
    ASSERT_TRUE(box) << describeWindows(pid());
    MessageBoxInfo info;
    ASSERT_TRUE(readMessageBox(box, &info));
    EXPECT_EQ(narrow(info.caption), "提示");
    EXPECT_EQ(narrow(info.text), "ab");
    EXPECT_STREQ(iconName(info.icon), "warning");
    EXPECT_EQ(info.owner, nullptr);
    EXPECT_EQ(info.buttonIds, std::vector<int>{IDOK});
    ASSERT_TRUE(dismissMessageBox(box));
    EXPECT_TRUE(waitUntil([&] { return controlText(dialog, IDC_FIXTURE_LABEL) == L"1"; }));

    clickButton(dialog, IDC_FIXTURE_INFO);
    box = waitMessageBox();
    ASSERT_TRUE(box) << describeWindows(pid());
    ASSERT_TRUE(readMessageBox(box, &info));
    EXPECT_STREQ(iconName(info.icon), "none");
    ASSERT_TRUE(dismissMessageBox(box));
}

TEST_F(DriverSelfTest, EnterPressesTheDefaultButtonEscAndExitEndTheProgram) {
    HWND edit = GetDlgItem(dialog, IDC_FIXTURE_EDIT);
    focusThroughDialogManager(dialog, IDC_FIXTURE_EDIT);
    pressKey(edit, VK_RETURN);
    HWND box = waitMessageBox();
    ASSERT_TRUE(box) << describeWindows(pid());
    ASSERT_TRUE(dismissMessageBox(box));

    // The exit button as the focused push button: Enter presses it once the
    // dialog manager has made it the default button.
    focusThroughDialogManager(dialog, IDC_FIXTURE_EXIT);
    pressKey(GetDlgItem(dialog, IDC_FIXTURE_EXIT), VK_RETURN);
    DWORD code = 0;
    ASSERT_TRUE(program.waitForExit(kPromptMs, &code)) << describeWindows(pid());
    EXPECT_EQ(code, 7u);

    std::string error;
    ASSERT_TRUE(program.start(besideDriver(L"e2e-fixture-app.exe"), {}, {}, &error)) << error;
    ASSERT_TRUE(waitUntil([&] { return (dialog = findDialogWith(pid(), IDC_FIXTURE_EDIT)); }));
    pressKey(focusedWindow(dialog), VK_ESCAPE);
    ASSERT_TRUE(program.waitForExit(kPromptMs, &code)) << describeWindows(pid());
}

}  // namespace
}  // namespace e2e
