// The menu: the clock label, time sync, USB-disk mode, and going back.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace e2e {
namespace {

// A clock text "Y-M-D h:m:s" without leading zeros; false for anything else.
bool parseClock(const std::string& text, SYSTEMTIME* time) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) {
        return false;
    }
    char again[64];
    std::snprintf(again, sizeof again, "%d-%d-%d %d:%d:%d", y, mo, d, h, mi, s);
    if (text != again) return false;  // leading zeros or stray characters
    *time = {};
    time->wYear = WORD(y);
    time->wMonth = WORD(mo);
    time->wDay = WORD(d);
    time->wHour = WORD(h);
    time->wMinute = WORD(mi);
    time->wSecond = WORD(s);
    return true;
}

// Seconds from local time `a` to local time `b`.
double secondsBetween(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    FILETIME fa, fb;
    SystemTimeToFileTime(&a, &fa);
    SystemTimeToFileTime(&b, &fb);
    const auto value = [](const FILETIME& f) {
        return double((ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return value(fb) - value(fa);
}

SYSTEMTIME now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    t.wMilliseconds = 0;
    t.wDayOfWeek = 0;
    return t;
}

TEST(Menu, ClockShowsTheTemplateTextThenTicksInLocalTime) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND menu = app.openMenu();
    ASSERT_TRUE(menu) << app.windows();
    // Read at once: the clock thread's first write comes about 100 ms after the menu opens.
    EXPECT_EQ(narrow(controlText(menu, IDC_STATIC_TIME)), "静态");
    EXPECT_EQ(focusedControlId(menu), IDC_BTN_MENU_EXIT);

    std::string first;
    ASSERT_TRUE(waitUntil([&] {
        first = narrow(controlText(menu, IDC_STATIC_TIME));
        return first != "静态";
    }, 3000));
    SYSTEMTIME shown;
    ASSERT_TRUE(parseClock(first, &shown)) << "\"" << first << "\"";
    EXPECT_LE(std::abs(secondsBetween(shown, now())), 2.0) << first;

    std::string second;
    ASSERT_TRUE(waitUntil([&] {
        second = narrow(controlText(menu, IDC_STATIC_TIME));
        return second != first;
    }, 3000)) << "the clock does not tick: " << first;
    SYSTEMTIME later;
    ASSERT_TRUE(parseClock(second, &later)) << "\"" << second << "\"";
    const double step = secondsBetween(shown, later);
    EXPECT_GE(step, 1.0) << first << " -> " << second;
    EXPECT_LE(step, 3.0) << first << " -> " << second;
}

TEST(Menu, ClockKeepsRunningWhileASubDialogIsShown) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND menu = app.openMenu();
    ASSERT_TRUE(menu) << app.windows();
    HWND sub = app.openFromMenu(Screen::PoliceNumber);
    ASSERT_TRUE(sub) << app.windows();
    EXPECT_FALSE(IsWindowVisible(menu));
    // The hidden menu's label still changes, twice to be sure it is not the last write.
    std::string seen = narrow(controlText(menu, IDC_STATIC_TIME));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(waitUntil([&] { return narrow(controlText(menu, IDC_STATIC_TIME)) != seen; }, 3000))
            << "label stuck at " << seen;
        seen = narrow(controlText(menu, IDC_STATIC_TIME));
    }
    clickButton(sub, IDC_BTN_NUMBER_BACK);
    ASSERT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
    SYSTEMTIME shown;
    ASSERT_TRUE(parseClock(narrow(controlText(menu, IDC_STATIC_TIME)), &shown));
    EXPECT_LE(std::abs(secondsBetween(shown, now())), 2.0);
}

enum class Fault { None, Refused, TransferFails, RecorderGone };

std::string scenarioFor(Fault fault, const char* refusal) {
    switch (fault) {
    case Fault::None: return "";
    case Fault::Refused: return refusal;
    case Fault::TransferFails: return failCommandAfterLogin(1);
    case Fault::RecorderGone: return recorderGoneAfterLogin();
    }
    return "";
}

struct SyncCase {
    const char* name;
    Fault fault;
    const char* message;
    IconKind icon;
    bool sent;
    bool completes;
};

void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.name; }

class TimeSync : public testing::TestWithParam<SyncCase> {};

TEST_P(TimeSync, ReportsTheOutcomeAndSendsThePcClock) {
    const SyncCase& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim(scenarioFor(c.fault, "status=03:00")));
    HWND menu = app.openMenu();
    ASSERT_TRUE(menu) << app.windows();
    const size_t mark = app.mark();
    const SYSTEMTIME before = now();
    clickButton(menu, IDC_BTN_TIMESYNC);
    ASSERT_TRUE(showsMessage(app, c.message, c.icon));
    const SYSTEMTIME after = now();
    EXPECT_TRUE(app.waitScreen(Screen::Menu)) << "the menu stays; " << app.windows();

    const auto commands = app.commandsSince(mark);
    if (!c.sent) {
        EXPECT_TRUE(commands.empty()) << describe(commands);
    } else {
        ASSERT_EQ(commands.size(), 1u) << describe(commands);
        EXPECT_EQ(commands[0].subOperation, 0x03);
        EXPECT_EQ(commands[0].completed, c.completes);
        const std::string& a = commands[0].arguments;
        SYSTEMTIME sent{};
        sent.wYear = WORD((unsigned char)a[0] * 100 + (unsigned char)a[1]);
        sent.wMonth = (unsigned char)a[2];
        sent.wDay = (unsigned char)a[3];
        sent.wHour = (unsigned char)a[4];
        sent.wMinute = (unsigned char)a[5];
        sent.wSecond = (unsigned char)a[6];
        EXPECT_GE(secondsBetween(before, sent), -1.0) << hex(a);
        EXPECT_LE(secondsBetween(sent, after), 1.0) << hex(a);
    }
    EXPECT_EQ(app.log().openHandles(), "");
}

const SyncCase kSyncCases[] = {
    {"Succeeds", Fault::None, "同步时间成功", IconKind::None, true, true},
    {"RecorderRefuses", Fault::Refused, "同步时间失败", IconKind::Warning, true, true},
    // A transfer that never reached the recorder did not set its clock.
    {"TransferFails", Fault::TransferFails, "同步时间失败", IconKind::Warning, true, false},
    {"RecorderGone", Fault::RecorderGone, "连接设备失败", IconKind::Warning, false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, TimeSync, testing::ValuesIn(kSyncCases),
                         [](const testing::TestParamInfo<SyncCase>& info) {
                             return std::string(info.param.name);
                         });

struct UDiskCase {
    const char* name;
    Fault fault;
    bool sent;
};

void PrintTo(const UDiskCase& c, std::ostream* os) { *os << c.name; }

class UsbDiskMode : public testing::TestWithParam<UDiskCase> {};

TEST_P(UsbDiskMode, ShowsNoMessage) {
    const UDiskCase& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim(scenarioFor(c.fault, "")));
    HWND menu = app.openMenu();
    ASSERT_TRUE(menu) << app.windows();
    const size_t mark = app.mark();
    clickButton(menu, IDC_BTN_UDISK);
    // The handler is over once discovery has given up (it scans up to Z:) or
    // the recorder's volume is closed again after the command.
    ASSERT_TRUE(waitUntil([&] {
        const SimLog log = app.log();
        if (c.sent) return !log.management(mark).empty() && log.openHandles().empty();
        for (size_t i = mark; i < log.calls().size(); ++i) {
            if (log.calls()[i].kind == SimCall::Kind::Create && log.calls()[i].letter == 'Z') return true;
        }
        return false;
    })) << describe(app.commandsSince(mark));
    EXPECT_TRUE(app.showsNoMessageBox(menu)) << app.windows();
    EXPECT_EQ(app.visibleScreens(), "menu");
    const auto commands = app.commandsSince(mark);
    if (c.sent) {
        ASSERT_EQ(commands.size(), 1u) << describe(commands);
        EXPECT_EQ(commands[0].subOperation, 0x04);
        EXPECT_EQ(hex(commands[0].arguments), "00000000000000");
    } else {
        EXPECT_TRUE(commands.empty()) << describe(commands);
    }
    EXPECT_EQ(app.log().openHandles(), "");
}

const UDiskCase kUDiskCases[] = {
    {"Switches", Fault::None, true},
    {"NoRecorder", Fault::RecorderGone, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, UsbDiskMode, testing::ValuesIn(kUDiskCases),
                         [](const testing::TestParamInfo<UDiskCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Menu, BackShowsTheLoginWithThePasswordAndAFreshMenuAfterTheNextLogin) {
    Korvane app;
    ASSERT_TRUE(app.startSim("password=ABC123"));
    HWND menu = app.openMenu(L"abc123");
    ASSERT_TRUE(menu) << app.windows();
    const size_t mark = app.mark();
    clickButton(menu, IDC_BTN_BACK);
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    EXPECT_EQ(narrow(controlText(login, IDC_EDIT_PASSWORD)), "abc123");
    EXPECT_TRUE(app.commandsSince(mark).empty());

    clickButton(login, IDC_BTN_LOGIN);
    ASSERT_TRUE(showsMessage(app, "登陆设备成功", IconKind::None));
    menu = app.waitScreen(Screen::Menu);
    ASSERT_TRUE(menu) << app.windows();
    EXPECT_EQ(narrow(controlText(menu, IDC_STATIC_TIME)), "静态");
    EXPECT_EQ(focusedControlId(menu), IDC_BTN_MENU_EXIT);
    std::string text;
    ASSERT_TRUE(waitUntil([&] {
        text = narrow(controlText(menu, IDC_STATIC_TIME));
        return text != "静态";
    }, 3000)) << "no clock after the second login";
    SYSTEMTIME shown;
    EXPECT_TRUE(parseClock(text, &shown)) << "\"" << text << "\" " << IsWindow(menu) << "\n" << app.windows();
}

// Every run of the menu has its clock thread, and the thread ends once the menu
// is left, however it is left and however quickly.
TEST(Menu, EachRunHasOneClockThreadThatEndsWithIt) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND login = app.waitScreen(Screen::Login);
    ASSERT_TRUE(login) << app.windows();
    const int base = app.program().threadCount();
    ASSERT_GT(base, 0);
    const auto threadsBecome = [&](int n) {
        // A stopped clock thread ends within about 1.1 s.
        return waitUntil([&] { return app.program().threadCount() == n; }, 2500, 20);
    };
    for (int run = 0; run < 4; ++run) {
        HWND menu = app.openMenu();
        ASSERT_TRUE(menu) << app.windows();
        if (run == 0) {
            EXPECT_TRUE(threadsBecome(base + 1)) << app.program().threadCount() << " threads";
            HWND sub = app.openFromMenu(Screen::PoliceNumber);
            ASSERT_TRUE(sub) << app.windows();
            EXPECT_EQ(app.program().threadCount(), base + 1) << "a sub-dialog starts no clock";
            clickButton(sub, IDC_BTN_NUMBER_BACK);
            ASSERT_TRUE(app.waitScreen(Screen::Menu)) << app.windows();
        }
        // Leave at once (the clock thread still in its first wait), or once the
        // label has been written (the thread asleep); by the back button or by Esc.
        if (run >= 2) {
            ASSERT_TRUE(waitUntil([&] { return controlText(menu, IDC_STATIC_TIME) != L"静态"; }, 3000));
        }
        if (run % 2) {
            pressKey(focusedWindow(menu), VK_ESCAPE);
        } else {
            clickButton(menu, IDC_BTN_BACK);
        }
        ASSERT_TRUE(app.waitScreen(Screen::Login)) << app.windows();
        EXPECT_TRUE(threadsBecome(base)) << "run " << run << ": " << app.program().threadCount()
                                         << " threads after the menu has ended";
    }
}

}  // namespace
}  // namespace e2e
