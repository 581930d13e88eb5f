// korvane.exe against a recorder on the real stack (the test bed's guest):
// each flow through the dialogs, checked on the recorder's side through the
// state file of its USB device. Between flows the test bed changes the
// recorder at sync points (Z:\tmp\kv-sync\NAME.req, answered by NAME.ack).
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace e2e {
namespace {

std::string deviceDir()
{
    const char* dir = std::getenv("KV_VM_DEVICE_DIR");
    return dir ? dir : "Z:\\run\\usbdev\\korvane0";
}

// The recorder's state as its device last wrote it.
std::map<std::string, std::string> recorderState()
{
    std::map<std::string, std::string> out;
    FILE* f = std::fopen((deviceDir() + "\\state").c_str(), "r");
    if (!f)
        return out;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        const size_t eq = l.find('=');
        if (eq != std::string::npos)
            out[l.substr(0, eq)] = l.substr(eq + 1);
    }
    std::fclose(f);
    return out;
}

// Asks the test bed to act on the recorder, and waits until it has.
bool syncPoint(const std::string& name)
{
    const std::string req = "Z:\\tmp\\kv-sync\\" + name + ".req";
    const std::string ack = "Z:\\tmp\\kv-sync\\" + name + ".ack";
    DeleteFileA(ack.c_str());
    HANDLE h = CreateFileA(req.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return waitUntil([&] { return GetFileAttributesA(ack.c_str()) != INVALID_FILE_ATTRIBUTES; }, 120000, 50);
}

std::string hexOf(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Starts korvane.exe on a recorder in factory state and logs in.
class Flows : public testing::Test {
protected:
    Korvane app;
    HWND menu = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(syncPoint("fresh"));
        ASSERT_TRUE(app.startReal());
        // The first window of a wine session is slow to come in the guest.
        ASSERT_TRUE(app.waitScreen(Screen::Login, 120000)) << app.windows();
    }
    void logIn()
    {
        menu = app.openMenu(L"000000");
        ASSERT_TRUE(menu) << app.windows();
    }
};

TEST_F(Flows, LoginCountsOnTheRecorderAndAWrongPasswordIsRefused)
{
    HWND login = app.waitScreen(Screen::Login);
    typeText(GetDlgItem(login, IDC_EDIT_PASSWORD), L"123456");
    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆密码错误", IconKind::Warning));
    EXPECT_TRUE(app.waitScreen(Screen::Login)) << app.windows();
    EXPECT_EQ(recorderState()["logins"], "1");
    EXPECT_EQ(recorderState()["password"], hexOf("000000"));

    logIn();
    EXPECT_EQ(recorderState()["logins"], "2");
}

TEST_F(Flows, TimeSyncSetsTheRecorderClockToThePcs)
{
    ASSERT_TRUE(syncPoint("clock-2013"));
    ASSERT_NE(recorderState()["clock"].rfind("2013-", 0), std::string::npos) << recorderState()["clock"];
    logIn();
    clickButton(menu, IDC_BTN_TIMESYNC);
    ASSERT_TRUE(showsMessage(app, "同步时间成功", IconKind::None));
    const long offset = std::atol(recorderState()["clock_offset"].c_str());
    std::printf("[ FIGURE   ] korvane.exe time sync: recorder clock minus PC clock %+ld s\n", offset);
    EXPECT_LE(std::labs(offset), 1) << recorderState()["clock"];
}

TEST_F(Flows, UsbDiskModeSwitchesTheRecorderSilently)
{
    logIn();
    clickButton(menu, IDC_BTN_UDISK);
    EXPECT_TRUE(waitUntil([] { return recorderState()["udisk_mode"] == "1"; }, 20000)) << recorderState()["udisk_mode"];
    EXPECT_TRUE(app.showsNoMessageBox(menu));
}

TEST_F(Flows, ChangePasswordReachesTheRecorderInCapitals)
{
    logIn();
    HWND dialog = app.openFromMenu(Screen::ChangePassword);
    ASSERT_TRUE(dialog) << app.windows();
    typeText(GetDlgItem(dialog, IDC_EDIT_OLDPWD), L"000000");
    typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD), L"abc123");
    typeText(GetDlgItem(dialog, IDC_EDIT_NEWPWD_AGAIN), L"abc123");
    clickButton(dialog, IDC_BTN_PWD_CONFIRM);
    ASSERT_TRUE(showsMessage(app, "设置新密码成功", IconKind::None));
    EXPECT_EQ(recorderState()["password"], hexOf("ABC123"));
}

// The number goes out in GBK whatever code page wine runs under: 京 is BE A9.
TEST_F(Flows, PoliceNumberReachesTheRecorderInGbkZeroFilled)
{
    logIn();
    HWND dialog = app.openFromMenu(Screen::PoliceNumber);
    ASSERT_TRUE(dialog) << app.windows();
    typeText(GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER), L"京A12345");
    clickButton(dialog, IDC_BTN_NUMBER_SET);
    ASSERT_TRUE(showsMessage(app, "设置警号成功", IconKind::None));
    EXPECT_EQ(recorderState()["police_number"], hexOf(std::string("\xBE\xA9" "A12345") + std::string(5, '\0')));
}

TEST_F(Flows, RecorderPulledOutBetweenDiscoveryAndCommand)
{
    ASSERT_TRUE(syncPoint("clock-2013"));
    logIn();
    // The next discovery is answered, then the recorder leaves the bus.
    ASSERT_TRUE(syncPoint("unplug-after-probe"));
    clickButton(menu, IDC_BTN_TIMESYNC);
    const MessageBoxInfo box = app.takeMessageBox(30000);
    ASSERT_TRUE(box.window) << "no message after the time sync; " << app.windows();
    std::printf("[ FIGURE   ] korvane.exe time sync with the recorder pulled out after discovery: \"%s\"\n",
                narrow(box.text).c_str());
    EXPECT_TRUE(app.waitScreen(Screen::Menu)) << "the program goes on; " << app.windows();
    // The clock still runs from the end of 2013, years behind the PC's.
    EXPECT_LT(std::atol(recorderState()["clock_offset"].c_str()), -86400L * 365)
        << "the PC's clock reached the recorder: " << recorderState()["clock"];
    EXPECT_TRUE(syncPoint("plug"));
}

}  // namespace
}  // namespace e2e
